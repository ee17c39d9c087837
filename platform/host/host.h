// Host seam: what the library tells of the machine and the process it runs in, for the field
// trace's records: the local time of day, the process's name and id, the calling thread's id,
// the system's name and version, and an OS error in words.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kirnow::platform {

// A moment on the wall clock, in local time, to the millisecond.
struct LocalTime {
  int year = 0, month = 0, day = 0;  // month and day count from 1
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

class Host {
 public:
  virtual ~Host() = default;
  virtual LocalTime Now() = 0;
  // The program's file name without folder (and on Windows without ".exe").
  virtual std::string ProcessName() = 0;
  virtual uint32_t ProcessId() = 0;
  virtual uint32_t ThreadId() = 0;  // of the calling thread, as the system numbers it
  // "Linux 6.1.0-18-amd64 (x86_64)", "Windows 10.0 build 19045" (and the Wine version under Wine).
  virtual std::string SystemVersion() = 0;
  // The system's words for an OS error (errno, GetLastError).
  virtual std::string ErrorText(int osError) = 0;
};

std::unique_ptr<Host> MakeSystemHost();

}  // namespace kirnow::platform
