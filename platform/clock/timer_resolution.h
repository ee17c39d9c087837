// The rule for the system timer's resolution while workers pace themselves: counted holders;
// the first raises the resolution and the last releases it, but only where the precise wait
// needs it (no high-resolution waitable timer). Used by the Windows clock with
// timeBeginPeriod/timeEndPeriod and by the simulated Windows clock of the tests and benchmark.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/sync/thread_safety.h"

namespace kirnow::platform {

class TimerResolution {
 public:
  // `raise` and `release` change the system's resolution; they are called under a lock.
  TimerResolution(bool needed, std::function<void()> raise, std::function<void()> release);

  void Begin();
  void End();  // an End without a Begin is ignored
  bool raised() const;
  int holders() const;

 private:
  const bool needed_;
  std::function<void()> raise_, release_;
  mutable Mutex mutex_;
  int holders_ KIRNOW_GUARDED_BY(mutex_) = 0;
  bool raised_ KIRNOW_GUARDED_BY(mutex_) = false;
};

}  // namespace kirnow::platform
