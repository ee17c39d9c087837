// For the tests and benchmarks: a clock that runs on real time but keeps time the way Windows
// does, so that the workers' pacing can be measured on Linux as it would run on a till:
//   - Ticks (GetTickCount) moves in steps of the system timer, 15.625 ms, whatever the
//     resolution;
//   - Sleep(n) wakes on the first timer interrupt at or after n ms: every 15.625 ms, or every
//     1 ms while the resolution is raised;
//   - Micros (QueryPerformanceCounter) has real microseconds;
//   - SleepUntil is precise with a high-resolution waitable timer, else a plain waitable timer
//     that fires on the first interrupt at or after the deadline, under the resolution that
//     BeginPrecise raises (as the Windows clock does);
//   - SleepWhile waits the same way and ends at once on Interrupt (a timer and a wake-up
//     event);
//   - its threads run above normal priority, where the process may raise it.
// In `Timing::TickCount` mode it has only what the tick counter gives: Micros follows Ticks and
// SleepUntil is a whole-millisecond Sleep, which is how workers paced on GetTickCount and Sleep.
#pragma once

#include <chrono>

#include "platform/clock/clock.h"
#include "platform/clock/flag_wait.h"
#include "platform/clock/timer_resolution.h"

namespace kirnow::fakes {

class SimulatedWindowsClock : public platform::Clock {
 public:
  enum class Timing {
    TickCount,            // GetTickCount and Sleep only, default timer
    HighResolutionTimer,  // QueryPerformanceCounter and a high-resolution waitable timer
    RaisedResolution,     // QueryPerformanceCounter and a waitable timer under timeBeginPeriod(1)
  };
  explicit SimulatedWindowsClock(Timing timing);

  uint32_t Ticks() override;
  void Sleep(uint32_t ms) override;
  platform::Thread StartThread(std::function<void()> body) override;
  uint64_t Micros() override;
  void SleepUntil(uint64_t deadline) override;
  void SleepWhile(uint64_t deadline, const std::atomic<int32_t>& keepRunning) override;
  void Interrupt() override;
  void BeginPrecise() override { resolution_.Begin(); }
  void EndPrecise() override { resolution_.End(); }

  bool ResolutionRaised() const { return resolution_.raised(); }

 private:
  using Steady = std::chrono::steady_clock;
  uint64_t RealMicros() const;
  // The first interrupt of the current timer period at or after `micros`.
  uint64_t NextInterrupt(uint64_t micros) const;
  // When a precise wait for `deadline` ends: at it with the high-resolution timer, at the next
  // interrupt with a plain one.
  uint64_t PreciseWake(uint64_t deadline) const;
  void SleepToMicros(uint64_t micros) const;

  const Timing timing_;
  const Steady::time_point start_ = Steady::now();
  platform::TimerResolution resolution_;
  platform::FlagWait wait_;  // SleepWhile's waits, which Interrupt ends
};

}  // namespace kirnow::fakes
