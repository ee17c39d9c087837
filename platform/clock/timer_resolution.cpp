// Counted holders of the raised timer resolution; see timer_resolution.h.
#include "platform/clock/timer_resolution.h"

namespace kirnow::platform {

TimerResolution::TimerResolution(bool needed, std::function<void()> raise,
                                 std::function<void()> release)
    : needed_(needed), raise_(std::move(raise)), release_(std::move(release)) {}

void TimerResolution::Begin() {
  MutexHold lock(mutex_);
  if (holders_++ == 0 && needed_) {
    raise_();
    raised_ = true;
  }
}

void TimerResolution::End() {
  MutexHold lock(mutex_);
  if (holders_ == 0) return;
  if (--holders_ == 0 && raised_) {
    release_();
    raised_ = false;
  }
}

bool TimerResolution::raised() const {
  MutexHold lock(mutex_);
  return raised_;
}

int TimerResolution::holders() const {
  MutexHold lock(mutex_);
  return holders_;
}

}  // namespace kirnow::platform
