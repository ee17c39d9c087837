// Checks that the labels of Polecheck's running dialog are drawn whole. It finds the dialog by its
// caption and, for each static text in it, compares the width of the text in the dialog's font
// with the width of the text's box: a wider face than the template was laid out for wraps or cuts
// the label ("x 100 ms" shows as "x 100"). The font is the one the dialog manager makes from the
// template of the program under test: the template is built here as well (hidden), so every
// label is measured with the font the dialog draws it with, and its box is checked to match.
//
//   polecheck_labels [--desktop NAME] PATH\Polecheck.exe
//
// --desktop joins the named desktop (the dialog's virtual desktop) before looking. Prints one
// PASS or FAIL line per label, the face the font resolved to, and "WINDOW left top right bottom",
// the dialog's frame on its desktop; exits 0 when every label fits.
#include "platform/win32/windows_headers.h"
// after windows.h, which it needs
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "testutility/core/resource_ids.h"

namespace {

constexpr wchar_t kCaption[] = L" JQ Pole Display OPOS Test v4.0.0.3";

int g_failures = 0;

void Report(bool ok, const std::wstring& what) {
  std::printf("%s %ls\n", ok ? "PASS" : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++g_failures;
}

struct Label {
  HWND window;
  std::wstring text;
  int width;   // of the client area, in pixels
  int height;  // likewise
};

bool IsTextStatic(HWND window) {
  wchar_t cls[32] = {};
  GetClassNameW(window, cls, 32);
  if (lstrcmpiW(cls, L"Static") != 0) return false;
  switch (GetWindowLongW(window, GWL_STYLE) & SS_TYPEMASK) {
    case SS_LEFT:
    case SS_CENTER:
    case SS_RIGHT:
    case SS_LEFTNOWORDWRAP:
    case SS_SIMPLE:
      return true;
    default:
      return false;
  }
}

// The static texts of a dialog, in template order. Works on another process's dialog too: the
// text, style and client area are all read through the window manager.
std::vector<Label> Labels(HWND dialog) {
  std::vector<Label> labels;
  for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    if (!IsTextStatic(c)) continue;
    wchar_t text[256] = {};
    GetWindowTextW(c, text, 256);
    RECT client{};
    GetClientRect(c, &client);
    if (text[0] != L'\0') labels.push_back({c, text, client.right, client.bottom});
  }
  return labels;
}

INT_PTR CALLBACK Quiet(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

// The dialog of Polecheck's own template, built in this process without showing it.
HWND BuildFromTemplate(const std::wstring& exe) {
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return nullptr;
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDD_POLECHECK_DIALOG),
                              MAKEINTRESOURCEW(5) /* RT_DIALOG */);
  HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
  const auto* bytes = static_cast<const BYTE*>(loaded != nullptr ? LockResource(loaded) : nullptr);
  const DWORD size = found != nullptr ? SizeofResource(module, found) : 0;
  // An extended template: version 1, signature FFFF, help id, extended style, then the style.
  if (bytes == nullptr || size < 16 || bytes[0] != 1 || bytes[2] != 0xFF || bytes[3] != 0xFF) {
    return nullptr;
  }
  std::vector<DWORD> copy((size + 3) / 4);  // templates are read DWORD-aligned
  std::memcpy(copy.data(), bytes, size);
  copy[3] &= ~static_cast<DWORD>(WS_VISIBLE);  // the running dialog is the one in the picture
  return CreateDialogIndirectParamW(
      GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()), nullptr, Quiet, 0);
}

// The text's extent in the control's own font, and the face that font resolved to.
SIZE Extent(HWND control, const std::wstring& text, std::wstring& face) {
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  wchar_t name[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, name);
  face = name;
  // A replaced face answers to the name asked for; its face name is the file's own.
  std::vector<DWORD> metrics((GetOutlineTextMetricsW(dc, 0, nullptr) + 3) / 4);
  auto* otm = reinterpret_cast<OUTLINETEXTMETRICW*>(metrics.data());
  if (!metrics.empty() && GetOutlineTextMetricsW(dc, static_cast<UINT>(metrics.size() * 4), otm)) {
    const std::wstring real = reinterpret_cast<const wchar_t*>(
        reinterpret_cast<const BYTE*>(otm) + reinterpret_cast<uintptr_t>(otm->otmpFaceName));
    if (real != face) face += L" (" + real + L")";
  }
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return size;
}

HWND WaitForDialog() {
  for (int i = 0; i < 100; ++i) {
    if (HWND dialog = FindWindowW(L"#32770", kCaption)) return dialog;
    Sleep(100);
  }
  return nullptr;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring desktop, exe;
  for (int i = 1; i < argc; ++i) {
    if (std::wstring(argv[i]) == L"--desktop" && i + 1 < argc) {
      desktop = argv[++i];
    } else {
      exe = argv[i];
    }
  }
  if (exe.empty()) {
    std::fprintf(stderr, "usage: polecheck_labels [--desktop NAME] PATH\\Polecheck.exe\n");
    return 2;
  }
  if (!desktop.empty()) {
    HDESK joined = OpenDesktopW(desktop.c_str(), 0, FALSE, GENERIC_ALL);
    Report(joined != nullptr && SetThreadDesktop(joined), L"joined the desktop " + desktop);
  }

  HWND running = WaitForDialog();
  Report(running != nullptr, L"found the running dialog");
  HWND built = BuildFromTemplate(exe);
  Report(built != nullptr, L"built the dialog of the template in " + exe);
  if (running == nullptr || built == nullptr) return 1;

  RECT frame{};
  GetWindowRect(running, &frame);
  std::printf("WINDOW %ld %ld %ld %ld\n", frame.left, frame.top, frame.right, frame.bottom);

  const std::vector<Label> shown = Labels(running);
  const std::vector<Label> templ = Labels(built);
  Report(!templ.empty() && shown.size() == templ.size(),
         L"the running dialog shows the template's " + std::to_wstring(templ.size()) + L" labels");
  std::wstring faces;
  for (const Label& label : shown) {
    const Label* model = nullptr;
    for (const Label& t : templ) {
      if (t.text == label.text) model = &t;
    }
    if (model == nullptr) {
      Report(false, L"label \"" + label.text + L"\" is not in the template");
      continue;
    }
    std::wstring face;
    const SIZE text = Extent(model->window, label.text, face);
    if (faces.find(face) == std::wstring::npos) faces += (faces.empty() ? L"" : L", ") + face;
    const bool sameBox = label.width == model->width && label.height == model->height;
    Report(sameBox && text.cx <= label.width && text.cy <= label.height,
           L"label \"" + label.text + L"\": text " + std::to_wstring(text.cx) + L" x " +
               std::to_wstring(text.cy) + L" px in a box of " + std::to_wstring(label.width) +
               L" x " + std::to_wstring(label.height) +
               (sameBox ? L"" : L" (the template's differs)"));
  }
  std::printf("FONT %ls\n", faces.c_str());
  DestroyWindow(built);
  return g_failures == 0 ? 0 : 1;
}
