// The test dialog on a character terminal (ncurses): the same controls in the same tab order,
// Tab and Shift-Tab move the focus, Enter presses the focused button (elsewhere it is the OK
// command), Space presses a button, typing edits a field, Escape runs Exit, F1 shows the About
// box. Edit fields show their whole width ("____") and the focused control is marked with ">",
// so both can be seen without attributes; the hint line says where Tab leads. It fits 80 x 24; a
// smaller terminal gets one line saying how large it must be. Message boxes are modal popups.
// When a snapshot file of the virtual pole display is named, its two lines are shown live beside
// the dialog.
#pragma once

#include <atomic>
#include <cwchar>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/sync/thread_safety.h"
#include "testutility/core/dialog_view.h"
#include "testutility/terminal/dialog_layout.h"

namespace polecheck {

class CPolecheckDlg;

class TerminalDialog : public DialogView {
 public:
  explicit TerminalDialog(std::string snapshotPath);
  ~TerminalDialog() override;
  TerminalDialog(const TerminalDialog&) = delete;
  TerminalDialog& operator=(const TerminalDialog&) = delete;

  // Starts curses; false when there is no usable terminal.
  bool Open();
  // Runs start-up, then the input loop until the dialog ends. Returns the end result.
  int Run(CPolecheckDlg& dlg);
  // Asks the loop to run the cancel command (Exit), as the close box does. Signal-safe.
  void RequestClose() { closeRequested_ = true; }

  // Message boxes from any thread: shown at once on the dialog's thread, otherwise queued for the
  // loop (a worker must not wait on a dialog that may be waiting on it).
  void ShowMessage(std::string_view text, std::string_view caption);
  // Shows a modal popup now (dialog's thread only).
  void Popup(std::string_view text, std::string_view caption);
  // Called on the dialog's thread to show messages that arrive by other ways, before each of
  // the dialog's own popups, after each command and while idle.
  void SetMessagePump(std::function<void()> pump) { pump_ = std::move(pump); }

  // DialogView
  std::u16string GetFieldText(int id) override;
  void SetFieldText(int id, std::u16string_view text) override;
  void EnableControl(int id, bool enable) override;
  void SetButtonCaption(int id, std::u16string_view caption) override;
  void FocusAndSelect(int id) override;
  void MessageBox(std::string_view text, std::string_view caption) override;
  void EndDialog(int result) override;

 private:
  struct Control {
    ControlSpec layout;
    std::u16string text;
    bool enabled = true;
    size_t cursor = 0;
    bool selected = false;  // whole text selected: typing replaces it
  };

  Control* Find(int id);
  bool CanFocus(const Control& c) const;
  // The control that Tab (1) or Shift-Tab (-1) moves the focus to; the focus itself when none.
  size_t NextFocus(int step) const;
  void MoveFocus(int step);
  void EnsureFocusUsable();
  void Draw();
  void DrawControl(const Control& c, bool focused);
  void DrawPanel();
  void DrawStatusLine() KIRNOW_REQUIRES(drawMutex_);
  std::string TabHint() const;
  int MinimumColumns() const;
  int MinimumRows() const;
  bool TooSmall() const;
  void ShowPopup(const std::string& text, const std::string& caption);
  void Pump();
  void Press(CPolecheckDlg& dlg, int id);
  bool HandleEditKey(Control& c, int status, wint_t key);
  void ShowQueuedMessages();

  std::string snapshotPath_;
  std::vector<Control> controls_;
  size_t focus_ = 0;
  bool open_ = false;
  bool ended_ = false;
  int result_ = 0;
  std::atomic<bool> closeRequested_{false};
  std::thread::id uiThread_;
  kirnow::platform::Mutex queueMutex_;  // messages from other threads, shown by the UI thread
  std::deque<std::pair<std::string, std::string>> queued_ KIRNOW_GUARDED_BY(queueMutex_);
  std::string panelLines_[2];
  std::function<void()> pump_;
  bool pumping_ = false;
  // Every curses call is made under drawMutex_ (the busy helper draws too).
  kirnow::platform::RecursiveMutex drawMutex_;
  std::string busyAction_ KIRNOW_GUARDED_BY(drawMutex_);  // the button whose command runs
  bool popupOpen_ KIRNOW_GUARDED_BY(drawMutex_) = false;
};

// Reads the two display lines from a snapshot file of the virtual pole display.
bool ReadSnapshotLines(const std::string& path, std::string& line1, std::string& line2);

}  // namespace polecheck
