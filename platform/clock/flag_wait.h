// A wait on the steady clock that ends early once its flag is cleared and Wake is called: the
// flag is read under the mutex Wake takes, so a stop between the check and the wait is not
// missed. The Linux clock and the simulated Windows clock wait with it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/sync/thread_safety.h"

namespace kirnow::platform {

class FlagWait {
 public:
  void Until(std::chrono::steady_clock::time_point at, const std::atomic<int32_t>& keepRunning)
      KIRNOW_EXCLUDES(mutex_) {
    MutexLock hold(mutex_);
    wake_.wait_until(hold.native(), at, [&] { return keepRunning == 0; });
  }

  void Wake() KIRNOW_EXCLUDES(mutex_) {
    MutexHold hold(mutex_);
    wake_.notify_all();
  }

 private:
  Mutex mutex_;
  std::condition_variable wake_;
};

}  // namespace kirnow::platform
