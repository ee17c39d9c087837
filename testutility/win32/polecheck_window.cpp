#include "testutility/win32/polecheck_window.h"

#include "kirnow_guids.h"
#include "testutility/core/resource_ids.h"

namespace polecheck::win32 {

namespace {

const wchar_t* Wide(std::u16string_view text, std::wstring& holder) {
  holder.assign(text.begin(), text.end());
  return holder.c_str();
}

}  // namespace

IDispatch* CreateLineDisplayControl() {
  static const CLSID kLineDisplay = OPOS_CLSID_LINEDISPLAY_INIT;
  IDispatch* control = nullptr;
  const HRESULT hr =
      CoCreateInstance(kLineDisplay, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                       IID_IDispatch, reinterpret_cast<void**>(&control));
  return SUCCEEDED(hr) ? control : nullptr;
}

PolecheckWindow::PolecheckWindow() : CDialog(IDD_POLECHECK_DIALOG) {}

PolecheckWindow::~PolecheckWindow() = default;

std::u16string PolecheckWindow::GetFieldText(int id) {
  HWND item = GetDlgItem(Handle(), id);
  const int n = GetWindowTextLengthW(item);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(item, text.data(), n + 1);
  return std::u16string(text.begin(), text.begin() + got);
}

void PolecheckWindow::SetFieldText(int id, std::u16string_view text) {
  std::wstring holder;
  SetDlgItemTextW(Handle(), id, Wide(text, holder));
}

void PolecheckWindow::EnableControl(int id, bool enable) {
  HWND item = GetDlgItem(Handle(), id);
  // A control disabled while it has the focus leaves the keyboard nowhere (Tab no longer
  // moves): remember it, and give the focus back when it is enabled again.
  if (!enable && item != nullptr && GetFocus() == item) focusWhileDisabled_ = id;
  EnableWindow(item, enable ? TRUE : FALSE);
  if (enable && id == focusWhileDisabled_) {
    focusWhileDisabled_ = 0;
    SendMessageW(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
  }
}

void PolecheckWindow::SetButtonCaption(int id, std::u16string_view caption) {
  SetFieldText(id, caption);
}

void PolecheckWindow::FocusAndSelect(int id) {
  // Moving the focus with WM_NEXTDLGCTL selects an edit control's whole text.
  SendMessageW(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(Handle(), id)), TRUE);
}

void PolecheckWindow::MessageBox(std::string_view text, std::string_view caption) {
  MessageBoxW(Handle(), Widen(text).c_str(), Widen(caption).c_str(), MB_OK);
}

void PolecheckWindow::EndDialog(int result) { ::EndDialog(Handle(), result); }

void PolecheckWindow::InitWindow() {
  // The About entry at the end of the system menu.
  HMENU menu = GetSystemMenu(Handle(), FALSE);
  wchar_t about[128] = {};
  if (menu != nullptr && LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, 128) > 0 &&
      about[0] != L'\0') {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about);
  }
  SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
}

INT_PTR PolecheckWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      // The control object is part of the dialog: without it the dialog is not built, and the
      // user is told why (on a till it comes with the OPOS Common Control Objects, which are
      // installed separately from Kirnow).
      IDispatch* control = CreateLineDisplayControl();
      if (control == nullptr) {
        MessageBoxW(nullptr,
                    L"The OPOS LineDisplay control object cannot be created.\n\nInstall the OPOS "
                    L"Common Control Objects, then start Polecheck again.",
                    Widen(ApplicationName()).c_str(), MB_OK | MB_ICONERROR);
        ::EndDialog(Handle(), -1);
        return FALSE;
      }
      m_Display.Attach(control);
      control->Release();
      m_hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
      logic_ = std::make_unique<CPolecheckDlg>(*this, m_Display, ApplicationName());
      if (!logic_->OnInitDialog()) return FALSE;  // the logic has placed the focus itself
      // The focus goes to the first tab stop (Exit). Moving it through the dialog manager also
      // makes that push button the default one, so Enter runs Exit at once; the hidden OK stays
      // the dialog's default only for Enter pressed in an edit field. (Left to the system, Wine
      // focuses Exit but keeps OK as the default button.)
      SendMessageW(Handle(), WM_NEXTDLGCTL,
                   reinterpret_cast<WPARAM>(GetNextDlgTabItem(Handle(), nullptr, FALSE)), TRUE);
      return FALSE;
    }
    case WM_COMMAND:
      if (logic_ && HIWORD(wParam) == BN_CLICKED) {
        return logic_->OnCommand(LOWORD(wParam)) ? TRUE : FALSE;
      }
      return FALSE;
    case WM_DRAWITEM:
      return wParam == IDC_LINEDISPLAY ? TRUE : FALSE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal(Handle());
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      logic_.reset();
      m_Display.Attach(nullptr);
      return FALSE;
    default:
      return CDialog::OnMessage(msg, wParam, lParam);
  }
}

}  // namespace polecheck::win32
