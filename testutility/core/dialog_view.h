// What the dialog's logic needs from a window system: the Win32 dialog, the terminal screen, the
// script runner and the tests' recording view all implement it.
#pragma once

#include <string>
#include <string_view>

namespace polecheck {

class DialogView {
 public:
  virtual ~DialogView() = default;
  // Text of an edit field, UTF-16 as the edit control holds it.
  virtual std::u16string GetFieldText(int id) = 0;
  virtual void SetFieldText(int id, std::u16string_view text) = 0;
  virtual void EnableControl(int id, bool enable) = 0;
  virtual void SetButtonCaption(int id, std::u16string_view caption) = 0;
  // Gives the field the focus with its whole text selected.
  virtual void FocusAndSelect(int id) = 0;
  // A modal message with an OK button; returns when it is dismissed. UTF-8.
  virtual void MessageBox(std::string_view text, std::string_view caption) = 0;
  virtual void EndDialog(int result) = 0;
  // Window set-up at dialog initialisation (system menu entry, icons); nothing by default.
  virtual void InitWindow() {}
};

}  // namespace polecheck
