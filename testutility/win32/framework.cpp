#include "testutility/win32/framework.h"

#include "platform/text/utf_convert.h"
#include "testutility/core/resource_ids.h"

namespace polecheck::win32 {

INT_PTR CDialog::DoModal(HWND parent) {
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent,
                         &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM) {
  if (msg == WM_INITDIALOG) return TRUE;
  if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(hwnd_, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  CDialog* self = nullptr;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    self->hwnd_ = hwnd;
  } else {
    self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (self == nullptr) return FALSE;
  const INT_PTR handled = self->OnMessage(msg, wParam, lParam);
  if (msg == WM_NCDESTROY) self->hwnd_ = nullptr;
  return handled;
}

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

std::wstring Widen(std::string_view utf8) { return kirnow::platform::WideFromUtf8(utf8); }

std::string Narrow(std::wstring_view text) { return kirnow::platform::Utf8FromWide(text); }

std::string ApplicationName() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name(path, n);
  const size_t slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos) name.erase(0, slash + 1);
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  return name.empty() ? "Polecheck" : Narrow(name);
}

}  // namespace polecheck::win32
