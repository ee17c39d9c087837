// The hand-over between writers and the port's owner: see step_queue.h.
#include "serviceobject/port/step_queue.h"

#include <algorithm>

namespace kirnow::port {

bool StepQueue::Push(std::shared_ptr<Step> step) {
  {
    platform::MutexHold hold(mutex_);
    if (!accepting_) return false;
    steps_.push_back(std::move(step));
    idle_ = 0;
  }
  clock_.Interrupt();
  return true;
}

std::deque<std::shared_ptr<Step>> StepQueue::TakeAll() {
  platform::MutexHold hold(mutex_);
  std::deque<std::shared_ptr<Step>> taken;
  taken.swap(steps_);
  return taken;
}

std::deque<std::shared_ptr<Step>> StepQueue::TakeSends() {
  platform::MutexHold hold(mutex_);
  std::deque<std::shared_ptr<Step>> taken;
  const auto isSend = [](const std::shared_ptr<Step>& s) { return s->kind == Step::Kind::Send; };
  std::copy_if(steps_.begin(), steps_.end(), std::back_inserter(taken), isSend);
  steps_.erase(std::remove_if(steps_.begin(), steps_.end(), isSend), steps_.end());
  return taken;
}

bool StepQueue::HasWorkLocked(bool sendsOnly) const {
  if (!sendsOnly) return !steps_.empty();
  return std::any_of(steps_.begin(), steps_.end(),
                     [](const std::shared_ptr<Step>& s) { return s->kind == Step::Kind::Send; });
}

void StepQueue::WaitForWork(uint64_t deadline, bool sendsOnly) {
  {
    platform::MutexHold hold(mutex_);
    if (HasWorkLocked(sendsOnly)) return;
    idle_ = 1;
  }
  // A push after this clears the flag under the lock and interrupts the clock, so it is never
  // missed; another kind of step wakes the wait too, which then just looks again.
  clock_.SleepWhile(deadline, idle_);
}

void StepQueue::Wake() {
  {
    platform::MutexHold hold(mutex_);
    idle_ = 0;
  }
  clock_.Interrupt();
}

void StepQueue::Accept() {
  platform::MutexHold hold(mutex_);
  accepting_ = true;
}

std::deque<std::shared_ptr<Step>> StepQueue::Refuse() {
  platform::MutexHold hold(mutex_);
  accepting_ = false;
  std::deque<std::shared_ptr<Step>> left;
  left.swap(steps_);
  return left;
}

void Finish(platform::Clock& clock, Step& step) {
  step.pending = 0;
  clock.Interrupt();
}

}  // namespace kirnow::port
