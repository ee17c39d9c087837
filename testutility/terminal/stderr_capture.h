// The service object is a separate library with its own copy of the platform seams, so its
// message boxes cannot reach our hook: on Linux they arrive as "caption: text" lines on stderr.
// StderrCapture takes the process's stderr into a pipe so that those lines can be shown as
// popups (or printed in order in script mode) instead of being written over the screen.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace polecheck {

class StderrCapture {
 public:
  using Sink = std::function<void(std::string_view text, std::string_view caption)>;

  StderrCapture() = default;
  ~StderrCapture() { Stop(); }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // Redirects stderr into the pipe; false (and stderr untouched) on failure.
  bool Start();
  // Puts stderr back, handing any complete line still in the pipe to `sink` when given.
  void Stop(const Sink& sink = nullptr);
  // Hands every complete line written so far to `sink`, split at the first ": " into caption
  // and text (a line without one is text under `defaultCaption`).
  void Drain(const Sink& sink, std::string_view defaultCaption = "Polecheck");

 private:
  int savedFd_ = -1;
  int readFd_ = -1;
  std::string pending_;
};

}  // namespace polecheck
