// Virtual time for tests: see scripted_clock.h.
#include "tests/fakes/scripted_clock.h"

#include <algorithm>
#include <chrono>

namespace kirnow::fakes {
namespace {

constexpr auto kQuiescenceBound = std::chrono::milliseconds(50);
constexpr auto kStalledBound = std::chrono::milliseconds(1);

// The clock whose worker this thread is (nullptr on the test's own threads).
thread_local const ScriptedClock* tCurrentClock = nullptr;

}  // namespace

ScriptedClock::ScriptedClock(uint32_t start) : offset_(start) {}

bool ScriptedClock::OnWorkerThread() const { return tCurrentClock == this; }

void ScriptedClock::WaitQuiescent(std::unique_lock<std::mutex>& lock) {
  const auto bound = (stalled_ && events_ == stalledAt_) ? kStalledBound : kQuiescenceBound;
  if (cv_.wait_for(lock, bound, [this] { return running_ == 0; })) {
    stalled_ = false;
  } else {
    stalled_ = true;
    stalledAt_ = events_;
  }
}

void ScriptedClock::ReleaseDue() {
  bool any = false;
  while (!sleepers_.empty() && sleepers_.begin()->first <= elapsed_) {
    sleepers_.begin()->second->released = true;
    sleepers_.erase(sleepers_.begin());
    ++running_;
    any = true;
  }
  if (any) {
    ++events_;  // the woken workers get the full wait again
    cv_.notify_all();
  }
}

uint32_t ScriptedClock::Ticks() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!OnWorkerThread()) {
    ++looks_;
    WaitQuiescent(lock);
    ++elapsed_;
    ReleaseDue();
  }
  return static_cast<uint32_t>(offset_ + elapsed_);
}

void ScriptedClock::Sleep(uint32_t ms) {
  if (!OnWorkerThread()) {
    Advance(ms);
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (ms == 0) return;
  Sleeper me;
  BlockLocked(lock, elapsed_ + ms, me);
}

void ScriptedClock::BlockLocked(std::unique_lock<std::mutex>& lock, uint64_t wakeMs, Sleeper& me) {
  sleepers_.emplace(wakeMs, &me);
  --running_;
  ++events_;
  cv_.notify_all();
  cv_.wait(lock, [&me] { return me.released; });
  // Whoever released it counted this worker as running again.
}

void ScriptedClock::SleepWhile(uint64_t deadline, const std::atomic<int32_t>& keepRunning) {
  const uint64_t deadlineMs = (deadline + 999) / 1000;
  std::unique_lock<std::mutex> lock(mutex_);
  if (!OnWorkerThread()) {
    while (keepRunning != 0 && elapsed_ < deadlineMs) {
      WaitQuiescent(lock);
      if (keepRunning == 0) break;
      uint64_t next = deadlineMs;
      if (!sleepers_.empty())
        next = std::min(next, std::max(sleepers_.begin()->first, elapsed_ + 1));
      elapsed_ = next;
      ReleaseDue();
    }
    WaitQuiescent(lock);
    return;
  }
  while (keepRunning != 0 && elapsed_ < deadlineMs) {
    Sleeper me;
    me.flag = &keepRunning;
    BlockLocked(lock, std::min(deadlineMs, elapsed_ + kFlagCheckMicros / 1000), me);
  }
}

void ScriptedClock::Interrupt() {
  std::lock_guard<std::mutex> lock(mutex_);
  bool any = false;
  for (auto it = sleepers_.begin(); it != sleepers_.end();) {
    Sleeper* s = it->second;
    if (s->flag != nullptr && *s->flag == 0) {
      s->released = true;
      ++running_;
      any = true;
      it = sleepers_.erase(it);
    } else {
      ++it;
    }
  }
  if (any) {
    ++events_;
    cv_.notify_all();
  }
}

platform::Thread ScriptedClock::StartThread(std::function<void()> body) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++live_;
    ++running_;
  }
  return std::thread([this, body = std::move(body)] {
    tCurrentClock = this;
    struct Finish {
      ScriptedClock* clock;
      ~Finish() {
        tCurrentClock = nullptr;
        std::lock_guard<std::mutex> lock(clock->mutex_);
        --clock->live_;
        --clock->running_;
        ++clock->events_;
        clock->cv_.notify_all();
      }
    } finish{this};
    body();
  });
}

uint64_t ScriptedClock::Micros() {
  std::lock_guard<std::mutex> lock(mutex_);
  return elapsed_ * 1000u;
}

void ScriptedClock::SleepUntil(uint64_t deadline) {
  const uint64_t now = Micros();
  if (deadline > now) Sleep(static_cast<uint32_t>((deadline - now + 999) / 1000));
}

void ScriptedClock::BeginPrecise() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++preciseHolders_;
  ++preciseBegins_;
}

void ScriptedClock::EndPrecise() {
  std::lock_guard<std::mutex> lock(mutex_);
  --preciseHolders_;
}

int ScriptedClock::PreciseHolders() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return preciseHolders_;
}

int ScriptedClock::PreciseBegins() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return preciseBegins_;
}

void ScriptedClock::Set(uint32_t now) {
  std::lock_guard<std::mutex> lock(mutex_);
  offset_ = now - static_cast<uint32_t>(elapsed_);
}

void ScriptedClock::Advance(uint32_t ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  const uint64_t target = elapsed_ + ms;
  while (true) {
    WaitQuiescent(lock);
    if (!sleepers_.empty() && sleepers_.begin()->first <= target) {
      if (sleepers_.begin()->first > elapsed_) elapsed_ = sleepers_.begin()->first;
      ReleaseDue();
      continue;
    }
    elapsed_ = target;
    break;
  }
  WaitQuiescent(lock);
}

uint32_t ScriptedClock::Now() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<uint32_t>(offset_ + elapsed_);
}

uint64_t ScriptedClock::Looks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return looks_;
}

size_t ScriptedClock::LiveWorkers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return live_;
}

}  // namespace kirnow::fakes
