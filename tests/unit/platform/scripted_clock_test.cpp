// The scripted clock that every timing test relies on: virtual sleeps, test-thread busy-waits
// and the 32-bit wrap.
#include "tests/fakes/scripted_clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

namespace kirnow::fakes {
namespace {

TEST(ScriptedClock, WorkersWakeInOrderOfTheirVirtualDeadlines) {
  ScriptedClock clock(1000);
  std::mutex m;
  std::vector<std::pair<char, uint32_t>> woke;
  auto sleeper = [&](char name, uint32_t ms) {
    return clock.StartThread([&, name, ms] {
      clock.Sleep(ms);
      std::lock_guard<std::mutex> lock(m);
      woke.emplace_back(name, clock.Ticks());
    });
  };
  auto a = sleeper('a', 30);
  auto b = sleeper('b', 10);
  EXPECT_EQ(clock.LiveWorkers(), 2u);
  clock.Advance(50);
  a.join();
  b.join();
  ASSERT_EQ(woke.size(), 2u);
  EXPECT_EQ(woke[0], std::make_pair('b', 1010u));
  EXPECT_EQ(woke[1], std::make_pair('a', 1030u));
  EXPECT_EQ(clock.Now(), 1050u);
  EXPECT_EQ(clock.LiveWorkers(), 0u);
}

TEST(ScriptedClock, WorkerSleepLoopRunsOncePerPeriod) {
  // A marquee-style worker: sleeps 100 ms per step until told to stop.
  ScriptedClock clock;
  std::atomic<bool> keepRunning{true};
  std::atomic<int> steps{0};
  auto worker = clock.StartThread([&] {
    while (keepRunning) {
      clock.Sleep(100);
      ++steps;
    }
  });
  clock.Advance(350);
  EXPECT_EQ(steps.load(), 3);
  keepRunning = false;
  clock.Advance(100);
  worker.join();
  EXPECT_EQ(steps.load(), 4);
}

TEST(ScriptedClock, TicksFromTheTestThreadAdvanceWhileWorkersSleep) {
  ScriptedClock clock;
  std::atomic<bool> done{false};
  auto worker = clock.StartThread([&] {
    const uint32_t before = clock.Ticks();
    const uint32_t again = clock.Ticks();  // a worker only reads the time
    EXPECT_EQ(before, again);
    clock.Sleep(100);
    done = true;
  });
  // The caller's busy-wait (DelayMs, or waiting for a worker's flag) makes time pass.
  uint32_t polls = 0;
  while (!done && polls < 10000) {
    clock.Ticks();
    ++polls;
  }
  worker.join();
  EXPECT_TRUE(done);
  EXPECT_GE(clock.Now(), 100u);
  EXPECT_LE(clock.Now(), 102u);
}

TEST(ScriptedClock, AWorkerBlockedElsewhereDoesNotStallTheCallersBusyWait) {
  // A worker waiting for a lock the caller holds is neither asleep nor finished; the caller's
  // DelayMs-style wait must still get through its 200 ticks in reasonable time.
  ScriptedClock clock;
  std::mutex portLock;
  std::unique_lock<std::mutex> held(portLock);
  auto worker = clock.StartThread([&] { std::lock_guard<std::mutex> lock(portLock); });
  const auto realStart = std::chrono::steady_clock::now();
  const uint32_t start = clock.Ticks();
  while (clock.Ticks() - start < 200) {
  }
  EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(3));
  held.unlock();
  worker.join();
  EXPECT_EQ(clock.LiveWorkers(), 0u);
}

TEST(ScriptedClock, BusyWaitEndsAcrossTheWrap) {
  ScriptedClock clock(0xFFFFFFFFu - 99);  // 100 ms before the counter wraps to 0
  const uint32_t start = clock.Ticks();
  while (clock.Ticks() - start < 200) {
  }
  EXPECT_EQ(clock.Now() - start, 200u);
  EXPECT_LT(clock.Now(), 200u);
}

TEST(ScriptedClock, SleepOnTheTestThreadRunsDueSleepersAndSetKeepsTheirDelay) {
  ScriptedClock clock;
  std::atomic<uint32_t> wokeAt{0};
  auto worker = clock.StartThread([&] {
    clock.Sleep(40);
    wokeAt = clock.Ticks();
  });
  clock.Sleep(10);
  clock.Set(0xFFFFFFF0u);  // 30 ms still to go for the worker
  clock.Sleep(29);
  EXPECT_EQ(wokeAt.load(), 0u);
  clock.Sleep(1);
  worker.join();
  EXPECT_EQ(wokeAt.load(), 0xFFFFFFF0u + 30u);
}

}  // namespace
}  // namespace kirnow::fakes
