// Clock seam: the 32-bit millisecond tick counter, sleeping, starting threads, and the precise
// timing the display's workers pace themselves with. Tests plug in a scripted clock so that
// worker timing runs on virtual time and no test sleeps for real.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "platform/clock/thread.h"

namespace kirnow::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since some start; wraps modulo 2^32 like GetTickCount. On Windows it moves in
  // steps of the system timer (15.625 ms unless a process raised the resolution; GetTickCount
  // keeps those steps even then).
  virtual uint32_t Ticks() = 0;
  virtual void Sleep(uint32_t ms) = 0;
  // Starts `body` on a new thread. The caller owns the thread and joins it or lets it go. On
  // Windows the thread runs above normal priority, so that a busy till does not hold back a
  // frame. The thread takes no reference to the library its code is in: the library is pinned
  // before any of its objects can start one (platform/module/module_pin.h).
  virtual Thread StartThread(std::function<void()> body) = 0;

  // Microseconds on a monotonic counter with real sub-millisecond resolution
  // (QueryPerformanceCounter on Windows). Never wraps.
  virtual uint64_t Micros() = 0;
  // Waits until Micros() reaches `deadline`, as precisely as the system can: on Windows with a
  // high-resolution waitable timer where there is one, else with Sleep under the raised timer
  // resolution that BeginPrecise holds.
  virtual void SleepUntil(uint64_t deadline) = 0;
  // Waits as SleepUntil does while `keepRunning` stays set. A wait whose flag is cleared ends
  // within 10 ms, and at once where the clock can be woken: whoever clears the flag then calls
  // Interrupt. So a worker's long wait costs no wake-up every 10 ms, and a stop is still quick.
  virtual void SleepWhile(uint64_t deadline, const std::atomic<int32_t>& keepRunning) {
    while (keepRunning) {
      const uint64_t now = Micros();
      if (now >= deadline) return;
      SleepUntil(std::min(deadline, now + kFlagCheckMicros));
    }
  }
  // Wakes every SleepWhile so that it looks at its flag again. Any thread.
  virtual void Interrupt() {}
  static constexpr uint64_t kFlagCheckMicros = 10000;

  // A worker holds precise timing from its start to its end (balanced calls, any thread).
  // Where the system needs a raised timer resolution for SleepUntil, the first holder raises
  // it and the last releases it, so an idle library never leaves it raised.
  virtual void BeginPrecise() {}
  virtual void EndPrecise() {}
};

// Holds precise timing for as long as it lives.
class PreciseTiming {
 public:
  explicit PreciseTiming(Clock& clock) : clock_(clock) { clock_.BeginPrecise(); }
  ~PreciseTiming() { clock_.EndPrecise(); }
  PreciseTiming(const PreciseTiming&) = delete;
  PreciseTiming& operator=(const PreciseTiming&) = delete;

 private:
  Clock& clock_;
};

// Waits until done() is true or more than `limitMs` have passed since `start` on the tick
// counter, looking every kWaitLookMs and sleeping in between (a stop or a hand-off costs no CPU
// while it waits). Returns done() at the end.
inline constexpr uint32_t kWaitLookMs = 5;
template <class Done>
bool WaitUntil(Clock& clock, uint32_t start, uint32_t limitMs, Done done) {
  while (!done()) {
    if (clock.Ticks() - start > limitMs) return done();
    clock.Sleep(kWaitLookMs);
  }
  return true;
}

// Holds the calling thread until the tick counter has advanced by at least `ms`, correct across
// the wrap (unsigned subtraction gives the elapsed time modulo 2^32); sleeps for what is left
// rather than spinning, so the waiter and the wire see the same timing at no CPU cost.
inline void DelayMs(Clock& clock, uint32_t ms) {
  const uint32_t start = clock.Ticks();
  if (ms == 0) return;
  for (uint32_t elapsed = 0; elapsed < ms; elapsed = clock.Ticks() - start) {
    clock.Sleep(ms - elapsed);
  }
}

std::unique_ptr<Clock> MakeSystemClock();

}  // namespace kirnow::platform
