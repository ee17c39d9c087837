// The system's platform seams as the library uses them, for tests and benchmarks that run the
// service object against the virtual pole display: the registry store, the tty serial device,
// the code page, the files, the host and a clock (the system's unless one is given), with message
// boxes recorded instead of printed; and the CPU time the benchmarks report.
#pragma once

#include <sys/resource.h>

#include <memory>
#include <utility>

#include "platform/platform.h"
#include "serviceobject/core/display_ids.h"
#include "tests/fakes/recording_message_box.h"

namespace kirnow::it {

struct SystemPlatform {
  SystemPlatform() = default;
  explicit SystemPlatform(std::unique_ptr<platform::Clock> c) : clock(std::move(c)) {}
  std::unique_ptr<platform::Registry> registry = platform::MakeSystemRegistry(DisplayUsbIds());
  std::unique_ptr<platform::SerialDevice> serial = platform::MakeSystemSerialDevice(*registry);
  std::unique_ptr<platform::Clock> clock = platform::MakeSystemClock();
  std::unique_ptr<platform::AnsiCodec> ansi = platform::MakeSystemAnsiCodec();
  std::unique_ptr<platform::Files> files = platform::MakeSystemFiles();
  std::unique_ptr<platform::Host> host = platform::MakeSystemHost();
  fakes::RecordingMessageBox box;
  platform::Platform Get() {
    return platform::Platform{*registry, *serial, box, *clock, *ansi, *files, *host};
  }
};

// Seconds of CPU this process has used, user and system, for the benchmarks' load figures.
inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace kirnow::it
