// The field trace's queue (trace_queue.h).
#include "serviceobject/trace/trace_queue.h"

#include <utility>

namespace kirnow::trace {

void Queue::PushLocked(Entry entry) {
  bytes_ += entry.line.size();
  entries_.push_back(std::move(entry));
}

bool Queue::Push(std::string line) {
  bool wake = false;
  {
    platform::MutexHold hold(mutex_);
    // Once one line went, the rest go too until the writer has taken the queue: the count then
    // stands where the gap is.
    if (dropped_ != 0 || bytes_ + line.size() > capacity_) {
      ++dropped_;
      return false;
    }
    PushLocked(Entry{Entry::Kind::Line, std::move(line), nullptr, 0});
    wake = idle_ != 0;
    idle_ = 0;
  }
  if (wake) clock_.Interrupt();
  return true;
}

void Queue::PushControl(Entry entry) {
  {
    platform::MutexHold hold(mutex_);
    if (dropped_ != 0) {
      PushLocked(Entry{Entry::Kind::Dropped, {}, nullptr, dropped_});
      dropped_ = 0;
    }
    PushLocked(std::move(entry));
    idle_ = 0;
  }
  clock_.Interrupt();
}

std::vector<Entry> Queue::TakeAll() {
  platform::MutexHold hold(mutex_);
  std::vector<Entry> taken;
  taken.swap(entries_);
  bytes_ = 0;
  if (dropped_ != 0) {
    taken.push_back(Entry{Entry::Kind::Dropped, {}, nullptr, dropped_});
    dropped_ = 0;
  }
  return taken;
}

bool Queue::Empty() {
  platform::MutexHold hold(mutex_);
  return entries_.empty() && dropped_ == 0;
}

void Queue::Wait(uint64_t deadline, bool dozes, const std::atomic<int32_t>& keepGoing) {
  if (!dozes) return clock_.SleepUntil(deadline);
  {
    platform::MutexHold hold(mutex_);
    if (!entries_.empty() || keepGoing == 0) return;
    idle_ = 1;
  }
  // A push or a Wake clears the flag under the lock and interrupts the clock, so neither is
  // missed; a stop asked for before the look above is seen there.
  clock_.SleepWhile(deadline, idle_);
  platform::MutexHold hold(mutex_);
  idle_ = 0;
}

void Queue::Wake() {
  {
    platform::MutexHold hold(mutex_);
    idle_ = 0;
  }
  clock_.Interrupt();
}

}  // namespace kirnow::trace
