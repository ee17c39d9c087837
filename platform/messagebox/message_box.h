// Message box seam: a modal message with an OK button and no owner window. On Windows it is
// MessageBoxW; on Linux the caption and text go to stderr unless a host program (Polecheck)
// has installed a hook that shows them as a popup.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kirnow::platform {

class MessageBoxSink {
 public:
  virtual ~MessageBoxSink() = default;
  // Shows the message and returns when the user has dismissed it. Text and caption are UTF-8.
  virtual void Show(std::string_view text, std::string_view caption) = 0;
};

std::unique_ptr<MessageBoxSink> MakeSystemMessageBox();

// Process-wide hook for the Linux message box: a host program shows messages its own way.
// Passing an empty function restores the default (stderr). Ignored on Windows.
using MessageBoxHook = std::function<void(std::string_view text, std::string_view caption)>;
void SetMessageBoxHook(MessageBoxHook hook);

}  // namespace kirnow::platform
