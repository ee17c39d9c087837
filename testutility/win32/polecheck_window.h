// The test dialog as a Win32 dialog (template 102): creates the LineDisplay control object by
// its class identifier when the dialog is built, and hands the dialog's commands to the portable
// CPolecheckDlg.
#pragma once

#include <memory>

#include "testutility/core/dialog_view.h"
#include "testutility/core/linedisplay1.h"
#include "testutility/core/polecheck_dlg.h"
#include "testutility/win32/framework.h"

namespace polecheck::win32 {

class PolecheckWindow : public CDialog, public DialogView {
 public:
  PolecheckWindow();
  ~PolecheckWindow() override;

  // DialogView
  std::u16string GetFieldText(int id) override;
  void SetFieldText(int id, std::u16string_view text) override;
  void EnableControl(int id, bool enable) override;
  void SetButtonCaption(int id, std::u16string_view caption) override;
  void FocusAndSelect(int id) override;
  void MessageBox(std::string_view text, std::string_view caption) override;
  void EndDialog(int result) override;
  void InitWindow() override;

 protected:
  INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  HICON m_hIcon = nullptr;
  CLinedisplay1 m_Display;
  std::unique_ptr<CPolecheckDlg> logic_;
  int focusWhileDisabled_ = 0;  // the control that had the focus when it was disabled
};

// Creates the LineDisplay control object; nullptr when it is not installed.
IDispatch* CreateLineDisplayControl();

}  // namespace polecheck::win32
