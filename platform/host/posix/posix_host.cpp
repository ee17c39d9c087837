// The Linux host: the wall clock through localtime_r, the program's short name, gettid, uname
// and strerror_r.
#include <errno.h>
#include <string.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "platform/host/host.h"

namespace kirnow::platform {
namespace {

// strerror_r comes in two flavours; each overload takes the result of one.
[[maybe_unused]] std::string ErrorWords(int result, const char* buffer) {
  return result == 0 ? std::string(buffer) : std::string();
}
[[maybe_unused]] std::string ErrorWords(const char* result, const char*) {
  return result != nullptr ? std::string(result) : std::string();
}

class PosixHost final : public Host {
 public:
  LocalTime Now() override {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    return LocalTime{local.tm_year + 1900,
                     local.tm_mon + 1,
                     local.tm_mday,
                     local.tm_hour,
                     local.tm_min,
                     local.tm_sec,
                     static_cast<int>(ts.tv_nsec / 1000000)};
  }

  std::string ProcessName() override { return program_invocation_short_name; }
  uint32_t ProcessId() override { return static_cast<uint32_t>(getpid()); }
  uint32_t ThreadId() override { return static_cast<uint32_t>(gettid()); }

  std::string SystemVersion() override {
    utsname names{};
    if (uname(&names) != 0) return "Linux";
    return std::string(names.sysname) + " " + names.release + " (" + names.machine + ")";
  }

  std::string ErrorText(int osError) override {
    char buffer[256] = {};
    std::string words = ErrorWords(strerror_r(osError, buffer, sizeof buffer), buffer);
    return words.empty() ? "error " + std::to_string(osError) : words;
  }
};

}  // namespace

std::unique_ptr<Host> MakeSystemHost() { return std::make_unique<PosixHost>(); }

}  // namespace kirnow::platform
