// A thin dialog framework over the Win32 API: modal dialogs from templates whose messages go to
// a virtual handler of the C++ object.
#pragma once

#include <string>

#include "platform/win32/windows_headers.h"

namespace polecheck::win32 {

class CDialog {
 public:
  explicit CDialog(int templateId) : templateId_(templateId) {}
  virtual ~CDialog() = default;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Runs the dialog modally; -1 when it could not be built.
  INT_PTR DoModal(HWND parent = nullptr);
  HWND Handle() const { return hwnd_; }

 protected:
  // Answers like a dialog procedure: TRUE when handled.
  virtual INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  int templateId_;
  HWND hwnd_ = nullptr;
};

// The About box: no members or handlers of its own.
class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
};

// The program file's name without its extension ("Polecheck" as shipped).
std::string ApplicationName();

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view text);

}  // namespace polecheck::win32
