// The Linux clock: a 32-bit millisecond tick from the monotonic clock, wrapping like
// GetTickCount, nanosleep, and std::thread. The monotonic clock is precise already: Micros
// reads it, SleepUntil sleeps to an absolute time on it, and no resolution needs raising.
// SleepWhile waits on a condition variable over the same clock (steady_clock is
// CLOCK_MONOTONIC), which Interrupt notifies.
#include <errno.h>
#include <time.h>

#include <chrono>

#include "platform/clock/clock.h"
#include "platform/clock/flag_wait.h"

namespace kirnow::platform {
namespace {

uint64_t MonotonicMicros() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

class SystemClock : public Clock {
 public:
  uint32_t Ticks() override { return static_cast<uint32_t>(MonotonicMicros() / 1000u); }

  void Sleep(uint32_t ms) override {
    timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    timespec rem{};
    while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
  }

  Thread StartThread(std::function<void()> body) override {
    return Thread(std::thread(std::move(body)));
  }

  uint64_t Micros() override { return MonotonicMicros(); }

  void SleepUntil(uint64_t deadline) override {
    const timespec at{static_cast<time_t>(deadline / 1000000u),
                      static_cast<long>(deadline % 1000000u) * 1000L};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
  }

  void SleepWhile(uint64_t deadline, const std::atomic<int32_t>& keepRunning) override {
    wait_.Until(std::chrono::steady_clock::time_point{std::chrono::microseconds(deadline)},
                keepRunning);
  }

  void Interrupt() override { wait_.Wake(); }

 private:
  FlagWait wait_;
};

}  // namespace

std::unique_ptr<Clock> MakeSystemClock() { return std::make_unique<SystemClock>(); }

}  // namespace kirnow::platform
