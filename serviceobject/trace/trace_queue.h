// The hand-over between the threads that make records and the field trace's writer: a queue
// bounded in bytes, so that a disk that stops taking the lines costs memory up to the bound and
// never a wait. When a line finds no room it is dropped, and so is every line after it until
// the writer has taken what was queued; the writer then learns how many went, in their place.
// A session's start is never dropped.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/sync/thread_safety.h"

namespace kirnow::trace {

// Where a session writes, fixed when it begins.
struct Target {
  uint32_t session = 0;
  std::string folder;
  std::string fileName;  // "kirnow-<process>-<pid>.log"
  uint64_t maxBytes = 0;
};

struct Entry {
  enum class Kind { Line, Begin, End, Dropped };
  Kind kind = Kind::Line;
  std::string line;                      // Line; Begin: the header
  std::shared_ptr<const Target> target;  // Begin
  uint64_t dropped = 0;                  // Dropped: how many lines went here
};

class Queue {
 public:
  Queue(platform::Clock& clock, size_t capacityBytes) : clock_(clock), capacity_(capacityBytes) {}

  // A line; false when it was dropped.
  bool Push(std::string line) KIRNOW_EXCLUDES(mutex_);
  // A session's start (with its header) or end, queued whatever the queue holds.
  void PushControl(Entry entry) KIRNOW_EXCLUDES(mutex_);
  // The writer: everything queued, a Dropped entry last when lines went since the last take.
  std::vector<Entry> TakeAll() KIRNOW_EXCLUDES(mutex_);
  bool Empty() KIRNOW_EXCLUDES(mutex_);
  // The writer, between two looks. One that found lines last time sleeps until `deadline`
  // (Micros) whatever happens meanwhile, so that a busy till's lines go out in batches and the
  // wake-ups other threads give the clock's waiters cost it nothing. One that found none `dozes`:
  // the next line ends its sleep at once, and so does a Wake after `keepGoing` was cleared.
  void Wait(uint64_t deadline, bool dozes, const std::atomic<int32_t>& keepGoing)
      KIRNOW_EXCLUDES(mutex_);
  void Wake() KIRNOW_EXCLUDES(mutex_);

 private:
  void PushLocked(Entry entry) KIRNOW_REQUIRES(mutex_);

  platform::Clock& clock_;
  const size_t capacity_;
  platform::Mutex mutex_;
  std::vector<Entry> entries_ KIRNOW_GUARDED_BY(mutex_);
  size_t bytes_ KIRNOW_GUARDED_BY(mutex_) = 0;
  uint64_t dropped_ KIRNOW_GUARDED_BY(mutex_) = 0;  // since the last take
  // The writer's doze flag: set while it dozes, cleared (and the clock interrupted) to wake it.
  std::atomic<int32_t> idle_{0};
};

}  // namespace kirnow::trace
