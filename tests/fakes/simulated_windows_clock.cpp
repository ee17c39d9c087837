// The simulated Windows timer; see simulated_windows_clock.h. Times are microseconds since the
// clock was made; the default timer period is 1/64 s.
#include "tests/fakes/simulated_windows_clock.h"

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace kirnow::fakes {
namespace {

constexpr uint64_t kDefaultPeriod = 15625;  // microseconds
constexpr uint64_t kRaisedPeriod = 1000;

}  // namespace

SimulatedWindowsClock::SimulatedWindowsClock(Timing timing)
    : timing_(timing),
      resolution_(
          timing == Timing::RaisedResolution, [] {}, [] {}) {}

uint64_t SimulatedWindowsClock::RealMicros() const {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(Steady::now() - start_).count());
}

uint32_t SimulatedWindowsClock::Ticks() {
  const uint64_t now = RealMicros();
  return static_cast<uint32_t>(now / kDefaultPeriod * kDefaultPeriod / 1000u);
}

uint64_t SimulatedWindowsClock::NextInterrupt(uint64_t micros) const {
  const uint64_t period = resolution_.raised() ? kRaisedPeriod : kDefaultPeriod;
  return (micros + period - 1) / period * period;
}

uint64_t SimulatedWindowsClock::PreciseWake(uint64_t deadline) const {
  return timing_ == Timing::HighResolutionTimer ? deadline : NextInterrupt(deadline);
}

void SimulatedWindowsClock::SleepToMicros(uint64_t micros) const {
  std::this_thread::sleep_until(start_ + std::chrono::microseconds(micros));
}

void SimulatedWindowsClock::Sleep(uint32_t ms) {
  SleepToMicros(NextInterrupt(RealMicros() + static_cast<uint64_t>(ms) * 1000u));
}

platform::Thread SimulatedWindowsClock::StartThread(std::function<void()> body) {
  return std::thread([body = std::move(body)] {
#ifdef __linux__
    // Above normal priority, as on Windows; allowed where the process may raise it (root).
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -5);
#endif
    body();
  });
}

uint64_t SimulatedWindowsClock::Micros() {
  if (timing_ == Timing::TickCount) return static_cast<uint64_t>(Ticks()) * 1000u;
  return RealMicros();
}

void SimulatedWindowsClock::SleepWhile(uint64_t deadline, const std::atomic<int32_t>& keepRunning) {
  // The tick counter's pacing had no wake-up: it checks the flag every 10 ms.
  if (timing_ == Timing::TickCount) return Clock::SleepWhile(deadline, keepRunning);
  wait_.Until(start_ + std::chrono::microseconds(PreciseWake(deadline)), keepRunning);
}

void SimulatedWindowsClock::Interrupt() { wait_.Wake(); }

void SimulatedWindowsClock::SleepUntil(uint64_t deadline) {
  const uint64_t now = Micros();
  if (deadline <= now) return;
  if (timing_ == Timing::TickCount) {
    // The tick counter's pacing: a whole-millisecond Sleep on the default timer.
    Sleep(static_cast<uint32_t>((deadline - now + 999) / 1000));
  } else {
    // A high-resolution timer ends at the deadline; a plain waitable timer due at it fires on
    // the first interrupt at or after it.
    SleepToMicros(PreciseWake(deadline));
  }
}

}  // namespace kirnow::fakes
