// A clock on virtual time for tests. Worker threads started through StartThread sleep on virtual
// time; the test's own thread drives it: Advance, Sleep and every Ticks call from the test
// thread move virtual time forward, so busy-waits on the test thread make progress and no test
// sleeps for real.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/clock/clock.h"

namespace kirnow::fakes {

class ScriptedClock : public platform::Clock {
 public:
  explicit ScriptedClock(uint32_t start = 0);

  // Virtual now. From the test thread it first waits (up to ~50 ms real time) until every live
  // worker is blocked in Sleep or finished, then advances virtual time by 1 ms. From a worker it
  // only reads.
  uint32_t Ticks() override;
  // Worker: blocks until virtual time reaches now + ms. Test thread: Advance(ms).
  void Sleep(uint32_t ms) override;
  platform::Thread StartThread(std::function<void()> body) override;
  // Virtual microseconds (whole milliseconds of virtual time); reads only, from any thread.
  uint64_t Micros() override;
  // Sleeps the whole virtual milliseconds up to `deadline`.
  void SleepUntil(uint64_t deadline) override;
  // Worker: sleeps until `deadline` (virtual) or, once the flag is cleared, the next 10 ms or an
  // Interrupt, whichever is first. Test thread: moves virtual time forward, a sleeper's wake
  // time at a time, until the flag is cleared (by a worker woken meanwhile) or the deadline.
  void SleepWhile(uint64_t deadline, const std::atomic<int32_t>& keepRunning) override;
  // Wakes every worker in SleepWhile whose flag is cleared.
  void Interrupt() override;
  // Counts the holders of precise timing, as the Windows clock's raised resolution would.
  void BeginPrecise() override;
  void EndPrecise() override;
  int PreciseHolders() const;
  int PreciseBegins() const;  // Begin calls so far

  // Sets the counter's value; sleepers keep the virtual time they still have to sleep.
  void Set(uint32_t now);
  // Moves virtual time forward by ms, waking sleepers in the order of their wake times and
  // letting each batch run until it sleeps again or finishes. Returns once the workers woken
  // last have settled (or ~50 ms of real time passed).
  void Advance(uint32_t ms);
  uint32_t Now() const;  // never advances
  size_t LiveWorkers() const;
  uint64_t Looks() const;  // Ticks calls from the test's threads so far

 private:
  struct Sleeper {
    bool released = false;
    const std::atomic<int32_t>* flag = nullptr;  // a SleepWhile's, which Interrupt looks at
  };
  // Blocks a worker until its wake time, lock held.
  void BlockLocked(std::unique_lock<std::mutex>& lock, uint64_t wakeMs, Sleeper& me);

  bool OnWorkerThread() const;
  // Waits, lock held, until no live worker is running (bounded by ~50 ms real time; by ~1 ms
  // while the same workers are still busy since the last wait ran out, so a worker blocked on
  // something other than Sleep does not slow every later tick).
  void WaitQuiescent(std::unique_lock<std::mutex>& lock);
  // Releases every sleeper whose wake time is due; lock held.
  void ReleaseDue();

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  uint64_t elapsed_ = 0;  // virtual milliseconds since construction; never wraps
  uint32_t offset_ = 0;   // Ticks() == offset_ + elapsed_ (mod 2^32)
  size_t live_ = 0;       // workers whose body has not returned
  int preciseHolders_ = 0;
  int preciseBegins_ = 0;
  size_t running_ = 0;   // live workers not blocked in Sleep
  uint64_t events_ = 0;  // sleeps, wake-ups and finished workers, counted
  uint64_t looks_ = 0;
  bool stalled_ = false;  // the last wait ran out with events_ == stalledAt_
  uint64_t stalledAt_ = 0;
  // Blocked sleepers by wake time (elapsed_ scale); equal wake times keep their arrival order.
  std::multimap<uint64_t, Sleeper*> sleepers_;
};

}  // namespace kirnow::fakes
