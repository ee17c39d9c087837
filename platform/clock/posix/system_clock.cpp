// The Linux clock: a 32-bit millisecond tick from the monotonic clock, wrapping like
// GetTickCount, nanosleep, and std::thread.
#include <errno.h>
#include <time.h>

#include "platform/clock/clock.h"

namespace kirnow::platform {
namespace {

class SystemClock : public Clock {
 public:
  uint32_t Ticks() override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
  }

  void Sleep(uint32_t ms) override {
    timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    timespec rem{};
    while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
  }

  std::thread StartThread(std::function<void()> body) override {
    return std::thread(std::move(body));
  }
};

}  // namespace

std::unique_ptr<Clock> MakeSystemClock() { return std::make_unique<SystemClock>(); }

}  // namespace kirnow::platform
