// Clock seam: the 32-bit millisecond tick counter, sleeping, and starting threads. Tests plug in
// a scripted clock so that worker timing runs on virtual time and no test sleeps for real.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace kirnow::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since some start; wraps modulo 2^32 like GetTickCount.
  virtual uint32_t Ticks() = 0;
  virtual void Sleep(uint32_t ms) = 0;
  // Starts `body` on a new thread. The caller owns the thread and joins it.
  virtual std::thread StartThread(std::function<void()> body) = 0;
};

std::unique_ptr<Clock> MakeSystemClock();

}  // namespace kirnow::platform
