// The hand-over between the port's writers and its owner: steps in the order they were handed
// over, and the owner's wake-ups. Writers push and wait for their step on the clock; the owner
// takes what is queued and sleeps on the clock while nothing is, or until its next round. The
// queue's lock is held only to move a step in or out, never while a step is served.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>

#include "platform/clock/clock.h"
#include "platform/sync/thread_safety.h"
#include "serviceobject/port/port_step.h"

namespace kirnow::port {

class StepQueue {
 public:
  explicit StepQueue(platform::Clock& clock) : clock_(clock) {}

  // Queues a step and wakes the owner; false, and nothing queued, while no owner takes steps.
  bool Push(std::shared_ptr<Step> step) KIRNOW_EXCLUDES(mutex_);
  // The owner: every step queued now, or only the units of output among them (the others stay
  // where they are, in their order).
  std::deque<std::shared_ptr<Step>> TakeAll() KIRNOW_EXCLUDES(mutex_);
  std::deque<std::shared_ptr<Step>> TakeSends() KIRNOW_EXCLUDES(mutex_);
  // The owner: sleeps until `deadline` (Micros), a step is queued (a unit of output, when
  // `sendsOnly`), or Wake.
  void WaitForWork(uint64_t deadline, bool sendsOnly) KIRNOW_EXCLUDES(mutex_);
  // Ends any wait of the owner's (a stop).
  void Wake() KIRNOW_EXCLUDES(mutex_);
  // Takes steps from now on (an owner has started) / no more, and hands back those still queued.
  void Accept() KIRNOW_EXCLUDES(mutex_);
  std::deque<std::shared_ptr<Step>> Refuse() KIRNOW_EXCLUDES(mutex_);

 private:
  bool HasWorkLocked(bool sendsOnly) const KIRNOW_REQUIRES(mutex_);

  platform::Clock& clock_;
  platform::Mutex mutex_;
  std::deque<std::shared_ptr<Step>> steps_ KIRNOW_GUARDED_BY(mutex_);
  bool accepting_ KIRNOW_GUARDED_BY(mutex_) = false;
  // The owner's sleep flag: set while it waits for work, cleared (and the clock interrupted) by
  // a push or a wake. Written under mutex_, read by the clock's wait.
  std::atomic<int32_t> idle_{0};
};

// Marks a step done and wakes its writer.
void Finish(platform::Clock& clock, Step& step);

}  // namespace kirnow::port
