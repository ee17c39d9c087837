// CPolecheckDlg: the test dialog's behaviour, written once over DialogView and CLinedisplay1.
// Every handler is synchronous on the caller's thread, as a dialog's message handler is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "opos/opos_constants.h"
#include "testutility/core/dialog_view.h"
#include "testutility/core/linedisplay1.h"

namespace polecheck {

// The window the last line action made current: 0 none, 1 the line-1 window, 2 the line-2 window.
extern int32_t g_ActiveMarquee;
// The text read from the text edit, with its terminator. It grows to fit whatever is typed.
extern std::u16string g_TextBuffer;

inline constexpr std::u16string_view kLogicalDeviceName = u"JQ POS POLE DISPLAY";
inline constexpr std::string_view kDialogCaption = " JQ Pole Display OPOS Test v4.0.0.3";
inline constexpr std::string_view kDefaultAppName = "Polecheck";

// OPOS values the dialog uses.
using kirnow::DISP_DT_BLINK;
using kirnow::DISP_DT_NORMAL;
using kirnow::DISP_MT_INIT;
using kirnow::DISP_MT_LEFT;
using kirnow::DISP_MT_NONE;
using kirnow::OPOS_SUCCESS;

// Reads a field the way the dialog's data exchange does: at most the first 63 characters,
// leading blanks, an optional sign, then decimal digits up to the first non-digit. Returns false
// when the text does not begin with a number. Values beyond 32 bits saturate.
bool ParseFieldInteger(std::u16string_view text, int32_t& value);

class CPolecheckDlg {
 public:
  CPolecheckDlg(DialogView& view, CLinedisplay1& display,
                std::string appName = std::string(kDefaultAppName));

  // Start-up. Always returns true (the system then focuses the first tab stop).
  bool OnInitDialog();
  bool StartupSucceeded() const { return startupOk_; }

  void OnDisplayText();
  void OnDisplayTextAt();
  void OnBlink();
  void OnScrollLine1();
  void OnScrollLine2();
  void OnCharacterDelay();
  void OnEuro();
  void OnPound();
  void OnClearText();
  void OnExit();
  // The OK command (Enter): reads the fields and ends the dialog unless one is not a number.
  void OnOK();

  // Routes a command id (a button or IDOK/IDCANCEL) to its handler as the framework does: a
  // dispatch failure aborts the handler and is shown in a message box. Returns false for an id
  // the dialog does not handle.
  bool OnCommand(int id);

  // Data exchange: true reads the number fields into the members, false writes the members.
  bool UpdateData(bool saveAndValidate);

  const std::string& AppName() const { return appName_; }
  // Calls that failed at the dispatch level and were reported so far.
  int DispatchFailures() const { return dispatchFailures_; }

  int32_t m_Column = 1;
  int32_t m_Row = 1;
  int32_t m_Delay = 1;
  CLinedisplay1& m_Display;

 private:
  void StopSequence();
  size_t ReadText();
  void LockTextButtons(bool lock);
  void AppendSign(char16_t sign);
  void RunStartup();
  void ReportDispatchError(const DispatchError& e);

  DialogView& view_;
  std::string appName_;
  bool startupOk_ = false;
  int dispatchFailures_ = 0;
};

}  // namespace polecheck
