// The system clocks' flag-watching wait on real time: it lasts to its deadline while the flag
// stays set, and a stop that clears the flag and interrupts ends it at once, not at the next
// 10 ms check or at the deadline. The simulated Windows clock the benchmarks use is held to the
// same rule.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/clock/clock.h"
#include "tests/fakes/simulated_windows_clock.h"

namespace kirnow::platform {
namespace {

using fakes::SimulatedWindowsClock;

using Steady = std::chrono::steady_clock;

double MsSince(Steady::time_point start) {
  return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

void ExpectWaitsAndWakes(Clock& clock) {
  std::atomic<int32_t> keepRunning{1};
  auto start = Steady::now();
  clock.SleepWhile(clock.Micros() + 30000, keepRunning);
  EXPECT_GE(MsSince(start), 29.0);

  // A long wait, ended by a stop from another thread.
  std::atomic<bool> done{false};
  double waited = 0;
  auto sleeper = clock.StartThread([&] {
    const auto begin = Steady::now();
    clock.SleepWhile(clock.Micros() + 20000000, keepRunning);
    waited = MsSince(begin);
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(done);
  keepRunning = 0;
  start = Steady::now();
  clock.Interrupt();
  sleeper.join();
  EXPECT_LT(MsSince(start), 1000.0);  // at once; a loaded machine may take its time
  EXPECT_LT(waited, 5000.0);

  // A cleared flag is no wait at all.
  start = Steady::now();
  clock.SleepWhile(clock.Micros() + 20000000, keepRunning);
  EXPECT_LT(MsSince(start), 1000.0);
}

TEST(ClockWait, SystemClockWaitsToTheDeadlineAndWakesOnAStop) {
  std::unique_ptr<Clock> clock = MakeSystemClock();
  ExpectWaitsAndWakes(*clock);
}

TEST(ClockWait, SimulatedWindowsTimersWaitToTheDeadlineAndWakeOnAStop) {
  for (auto timing : {SimulatedWindowsClock::Timing::HighResolutionTimer,
                      SimulatedWindowsClock::Timing::RaisedResolution}) {
    SimulatedWindowsClock clock(timing);
    PreciseTiming precise(clock);
    ExpectWaitsAndWakes(clock);
  }
}

}  // namespace
}  // namespace kirnow::platform
