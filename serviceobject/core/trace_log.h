// The trace log "debug.log": with the trace switch DebugMode on, every dispatch method and every
// worker writes a time-stamped record. Records from the method thread and the workers are
// written under one lock, so each record stays whole. The switch is held here and only here, and
// every record asks it before anything is formatted: a caller never checks it first.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/clock/clock.h"
#include "platform/messagebox/message_box.h"
#include "platform/sync/thread_safety.h"

namespace kirnow {

// printf-style formatting into a std::string (for the trace records' argument texts).
std::string TraceFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

class TraceLog {
 public:
  // `debugMode` is the switch for the log's life: the library passes the build's
  // KIRNOW_DEBUG_MODE (kirnow_config.h), tests pass what they check.
  TraceLog(platform::Clock& clock, platform::MessageBoxSink& messageBox, bool debugMode);

  // The module-wide trace switch DebugMode, fixed when the library is built: true when the
  // records are written. A record asks it itself; only a caller that must prepare something
  // beyond a record's text asks it first.
  bool DebugMode() const { return debugMode_; }

  // Appends "\nTime:=<ticks>" + head; a record without arguments has a head ending in "\n".
  void Record(std::string_view head);
  // The same, then the arguments printf-formatted from `format`, then "\n". The arguments are
  // formatted only when the trace is on.
  void Record(std::string_view head, const char* format, ...) __attribute__((format(printf, 3, 4)));
  // The same with the argument text made by `makeArgs()` (for records that carry a text, which
  // must be converted): called only when the trace is on.
  template <typename MakeArgs>
  requires std::is_invocable_r_v<std::string, MakeArgs&>
  void Record(std::string_view head, MakeArgs&& makeArgs) {
    if (debugMode_) Record(head, std::string_view(makeArgs()));
  }
  // The same with the argument text already made.
  void Record(std::string_view head, std::string_view args);
  // DisplayTextAt's record: head, args, "\n", then the state dump as given.
  void RecordWithDump(std::string_view head, std::string_view args, std::string_view dump);
  // OpenService: the "Debug" message box, then a fresh file starting with
  // "Time:=<ticks>\n" + "OpenService DeviceName:" + the name + "\n". `deviceNameAnsi()` makes
  // the name, only when the trace is on.
  template <typename MakeName>
  requires std::is_invocable_r_v<std::string, MakeName&>
  void BeginOpenService(MakeName&& deviceNameAnsi) {
    if (debugMode_) Begin(deviceNameAnsi());
  }
  // Where the last record went (before the first one: where it would go): "debug.log" in the
  // process's current directory at the time of the record when it can be opened there, else in
  // the temporary directory.
  std::string path() const;

 private:
  // Shows the box and starts the file (BeginOpenService with the trace on).
  void Begin(std::string_view deviceNameAnsi);
  // "\nTime:=<ticks>" + head + args + "\n" + dump, as one record.
  void Write(std::string_view head, std::string_view args, std::string_view dump);
  // Writes one whole record under the lock, with its own open and close of the file.
  void Append(std::string_view text, bool truncate) KIRNOW_EXCLUDES(lock_);
  static std::filesystem::path ChooseFile();
  void SetPath(const std::filesystem::path& file) KIRNOW_REQUIRES(lock_);

  platform::Clock& clock_;
  platform::MessageBoxSink& messageBox_;
  const bool debugMode_;
  mutable platform::Mutex lock_;
  std::string path_ KIRNOW_GUARDED_BY(lock_);
};

}  // namespace kirnow
