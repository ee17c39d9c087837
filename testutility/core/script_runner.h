// Script mode: start-up, then one dialog action per line through the dialog's own handlers,
// with every message box printed as "caption: text". Used by both front ends.
//
//   DisplayText [TEXT]            puts TEXT (if given) in the text field, presses Display Text
//   DisplayTextAt ROW COL [TEXT]  fills Row, Column (one-based, as typed) and the text field,
//                                 presses Display Text At
//   Blink | ScrollLine1 | ScrollLine2 | Euro | Pound | ClearText
//   CharacterDelay N              fills the delay field, presses Character Delay Time
//   Wait MS                       pauses
//   Exit                          runs Exit and ends the script (the end of the file does too)
// Command words are case-insensitive; blank lines and lines starting with # are skipped.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "testutility/core/dialog_view.h"
#include "testutility/core/linedisplay1.h"

namespace polecheck {

// Exit statuses of a script run.
inline constexpr int kScriptOk = 0;
inline constexpr int kScriptStartupFailed = 1;
inline constexpr int kScriptNotUnderstood = 2;
inline constexpr int kScriptDispatchFailed = 3;

void PrintMessageBox(std::ostream& out, std::string_view text, std::string_view caption);

struct ScriptAction {
  enum class Kind {
    DisplayText,
    DisplayTextAt,
    Blink,
    ScrollLine1,
    ScrollLine2,
    CharacterDelay,
    Euro,
    Pound,
    ClearText,
    Wait,
    Exit
  };
  Kind kind = Kind::Exit;
  int lineNumber = 0;
  bool hasText = false;
  std::string text;    // UTF-8
  std::string row;     // as typed
  std::string column;  // as typed
  std::string delay;   // as typed
  uint32_t waitMs = 0;
};

struct ParsedScript {
  std::vector<ScriptAction> actions;
  std::vector<std::string> errors;  // one per line not understood, naming it
};

ParsedScript ParseScript(std::istream& in);

// Checks a whole script before anything is sent: writes every line not understood to `err`
// and answers false when there was one.
bool CheckScript(const std::string& text, std::ostream& err, const std::string& appName);

// A dialog without a window: fields in memory, message boxes printed.
class ScriptView : public DialogView {
 public:
  explicit ScriptView(std::ostream& out, std::function<void()> pump = nullptr)
      : out_(out), pump_(std::move(pump)) {}
  std::u16string GetFieldText(int id) override { return fields_[id]; }
  void SetFieldText(int id, std::u16string_view text) override { fields_[id] = text; }
  void EnableControl(int id, bool enable) override { enabled_[id] = enable; }
  void SetButtonCaption(int id, std::u16string_view caption) override { fields_[id] = caption; }
  void FocusAndSelect(int) override {}
  void MessageBox(std::string_view text, std::string_view caption) override;
  void EndDialog(int result) override {
    ended_ = true;
    result_ = result;
  }
  bool Ended() const { return ended_; }

 private:
  std::ostream& out_;
  std::function<void()> pump_;
  std::map<int, std::u16string> fields_;
  std::map<int, bool> enabled_;
  bool ended_ = false;
  int result_ = 0;
};

struct ScriptOptions {
  std::string appName = "Polecheck";
  std::function<void(uint32_t ms)> sleep;  // defaults to a real sleep
  // Prints message boxes that reached the program by another way (the service object's), so
  // that they appear in the order they were shown; run before every printed message box and
  // after every action.
  std::function<void()> pumpMessages;
};

// Runs the script against the control object. Problems with the script itself go to `err`.
int RunScript(std::istream& in, CLinedisplay1& display, std::ostream& out, std::ostream& err,
              const ScriptOptions& options = {});

}  // namespace polecheck
