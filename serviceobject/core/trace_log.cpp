// The trace log "debug.log". Each record is opened, written and closed on its own, under one
// lock, so that a record from a worker never lands inside a record of the method thread.
#include "serviceobject/core/trace_log.h"

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <vector>

namespace kirnow {

namespace {

constexpr const char* kFileName = "debug.log";

// True when `file` can be opened for appending. A file that did not exist before is removed
// again, so the probe leaves nothing behind.
bool CanAppend(const std::filesystem::path& file) {
  std::error_code ec;
  const bool existed = std::filesystem::exists(file, ec);
  bool ok = false;
  {
    std::ofstream out(file, std::ios::out | std::ios::app);
    ok = out.is_open();
  }
  if (ok && !existed) std::filesystem::remove(file, ec);
  return ok;
}

std::string FormatV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (needed > 0) {
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    text.assign(buffer.data(), static_cast<size_t>(needed));
  }
  return text;
}

}  // namespace

std::string TraceFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  return text;
}

TraceLog::TraceLog(platform::Clock& clock, platform::MessageBoxSink& messageBox, bool debugMode)
    : clock_(clock), messageBox_(messageBox), debugMode_(debugMode) {
  // With the trace off nothing is looked at and no file is ever made.
  if (!debugMode_) return;
  SetPath(ChooseFile());
}

std::filesystem::path TraceLog::ChooseFile() {
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::current_path(ec);
  if (!ec) {
    std::filesystem::path here = dir / kFileName;
    if (CanAppend(here)) return here;
  }
  std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
  if (!ec) return temp / kFileName;
  return std::filesystem::path(kFileName);
}

void TraceLog::Record(std::string_view head) {
  if (!debugMode_) return;
  std::string text = TraceFormat("\nTime:=%d", static_cast<int32_t>(clock_.Ticks()));
  text.append(head);
  Append(text, false);
}

void TraceLog::Record(std::string_view head, const char* format, ...) {
  if (!debugMode_) return;
  va_list args;
  va_start(args, format);
  const std::string text = FormatV(format, args);
  va_end(args);
  Write(head, text, {});
}

void TraceLog::Record(std::string_view head, std::string_view args) {
  if (!debugMode_) return;
  Write(head, args, {});
}

void TraceLog::RecordWithDump(std::string_view head, std::string_view args, std::string_view dump) {
  if (!debugMode_) return;
  Write(head, args, dump);
}

void TraceLog::Write(std::string_view head, std::string_view args, std::string_view dump) {
  std::string text = TraceFormat("\nTime:=%d", static_cast<int32_t>(clock_.Ticks()));
  text.append(head);
  text.append(args);
  text.push_back('\n');
  text.append(dump);
  Append(text, false);
}

void TraceLog::Begin(std::string_view deviceNameAnsi) {
  // The box comes first and is modal; no lock is held while it is up.
  messageBox_.Show("JQ VFD SO Debug Mode!", "Debug");
  std::string text = TraceFormat("Time:=%d\n", static_cast<int32_t>(clock_.Ticks()));
  text.append("OpenService DeviceName:");
  text.append(deviceNameAnsi);
  text.push_back('\n');
  Append(text, true);
}

void TraceLog::Append(std::string_view text, bool truncate) {
  platform::MutexHold hold(lock_);
  const auto mode = truncate ? (std::ios::out | std::ios::trunc) : (std::ios::out | std::ios::app);
  // The file lives in the process's current directory at the time of the record: a host that
  // changes directory gets its records there. Where that cannot be opened, the temporary
  // directory takes them.
  std::ofstream out;
  std::error_code ec;
  std::filesystem::path file = std::filesystem::current_path(ec);
  if (!ec) {
    file /= kFileName;
    out.open(file, mode);
  }
  if (!out.is_open()) {
    file = std::filesystem::temp_directory_path(ec);
    file = ec ? std::filesystem::path(kFileName) : file / kFileName;
    out.open(file, mode);
  }
  if (!out.is_open()) return;  // a file that can't be opened skips the record
  SetPath(file);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void TraceLog::SetPath(const std::filesystem::path& file) {
  try {
    path_ = file.string();
  } catch (...) {
    path_.clear();  // a name the narrow code page can't show; the records still go there
  }
}

std::string TraceLog::path() const {
  platform::MutexHold hold(lock_);
  return path_;
}

}  // namespace kirnow
