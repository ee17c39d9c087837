// The files one process traces into: "<name>" (kirnow-<process>-<pid>.log) and the one before
// it, "<name>.1". Each holds at most half the session's cap, so the two together stay within
// it: a line that would take the current file past its half first moves it to ".1" (replacing
// the one there) and starts a new one, which begins with the session's header again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/files/files.h"

namespace kirnow::trace {

class TraceFile {
 public:
  explicit TraceFile(platform::Files& files) : files_(files) {}

  // Makes the folder when it is missing and opens the file for appending; false with the OS
  // error when either fails. An earlier file of this process is continued.
  bool Open(const std::string& folder, const std::string& fileName, uint64_t maxBytes,
            std::string header, int& osError);
  // Appends one line (a header line may be longer than the half; nothing else is).
  bool Write(std::string_view line, int& osError);
  void Close() { file_.reset(); }
  bool IsOpen() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }

 private:
  bool Rotate(int& osError);
  // The file before this one, unless it alone passes the half (the cap was lowered since).
  void KeepOrRemoveOlder();

  platform::Files& files_;
  std::unique_ptr<platform::AppendFile> file_;
  std::string path_, older_;
  std::string header_;
  uint64_t half_ = 0;
};

}  // namespace kirnow::trace
