// The trace log "debug.log": with the build's trace switch on, every dispatch method and every
// worker writes a time-stamped record. Records from the method thread and the workers are
// written under one lock, so each record stays whole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/clock/clock.h"
#include "platform/messagebox/message_box.h"

namespace kirnow {

// printf-style formatting into a std::string (for the trace records' argument texts).
std::string TraceFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

class TraceLog {
 public:
  TraceLog(platform::Clock& clock, platform::MessageBoxSink& messageBox, bool enabled);

  bool enabled() const { return enabled_; }
  // Appends "\nTime:=<ticks>" + label (the label ends in "\n" where the record has no
  // arguments); the second form adds args + "\n".
  void Record(std::string_view label);
  void Record(std::string_view label, std::string_view args);
  // DisplayTextAt's record: label, args, "\n", then the state dump as given.
  void RecordWithDump(std::string_view label, std::string_view args, std::string_view dump);
  // OpenService: the "Debug" message box, then a fresh file starting with
  // "Time:=<ticks>\n" + "OpenService DeviceName:" + name + "\n".
  void BeginOpenService(std::string_view deviceNameAnsi);
  // Where the last record went (before the first one: where it would go): "debug.log" in the
  // process's current directory at the time of the record when it can be opened there, else in
  // the temporary directory.
  std::string path() const;

 private:
  // Writes one whole record under the lock, with its own open and close of the file.
  void Append(std::string_view text, bool truncate);
  static std::filesystem::path ChooseFile();
  void SetPath(const std::filesystem::path& file);

  platform::Clock& clock_;
  platform::MessageBoxSink& messageBox_;
  const bool enabled_;
  std::string path_;
  mutable std::mutex lock_;
};

}  // namespace kirnow
