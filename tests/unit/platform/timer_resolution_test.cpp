// The raised timer resolution follows its holders: raised by the first, released by the last,
// never raised where the precise wait does not need it, and an unbalanced release changes
// nothing; the simulated Windows clock follows the same rule.
#include "platform/clock/timer_resolution.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/fakes/simulated_windows_clock.h"

namespace kirnow::platform {
namespace {

using fakes::SimulatedWindowsClock;

TEST(TimerResolution, RaisedFromTheFirstHolderToTheLastOnly) {
  std::string calls;
  TimerResolution r(
      true, [&] { calls += "raise "; }, [&] { calls += "release "; });
  EXPECT_FALSE(r.raised());
  r.End();  // unbalanced: ignored
  r.Begin();
  r.Begin();
  EXPECT_TRUE(r.raised());
  r.End();
  EXPECT_TRUE(r.raised());
  r.End();
  EXPECT_FALSE(r.raised());
  r.End();
  EXPECT_EQ(r.holders(), 0);
  EXPECT_EQ(calls, "raise release ");

  // Many workers starting and stopping at once leave it released.
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      for (int k = 0; k < 200; ++k) {
        r.Begin();
        r.End();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_FALSE(r.raised());
  EXPECT_EQ(r.holders(), 0);
}

TEST(TimerResolution, NeverRaisedWithAHighResolutionTimer) {
  int changes = 0;
  TimerResolution r(
      false, [&] { ++changes; }, [&] { ++changes; });
  r.Begin();
  EXPECT_FALSE(r.raised());
  r.End();
  EXPECT_EQ(changes, 0);
}

TEST(SimulatedWindowsClock, RaisesTheResolutionOnlyWhileHeldAndOnlyWithoutTheTimer) {
  SimulatedWindowsClock fallback(SimulatedWindowsClock::Timing::RaisedResolution);
  EXPECT_FALSE(fallback.ResolutionRaised());
  fallback.BeginPrecise();
  EXPECT_TRUE(fallback.ResolutionRaised());
  fallback.EndPrecise();
  EXPECT_FALSE(fallback.ResolutionRaised());

  SimulatedWindowsClock timer(SimulatedWindowsClock::Timing::HighResolutionTimer);
  timer.BeginPrecise();
  EXPECT_FALSE(timer.ResolutionRaised());
  timer.EndPrecise();
  // GetTickCount's value is a whole multiple of the 15.625 ms timer step, cut to milliseconds.
  const uint32_t t = timer.Ticks();
  EXPECT_EQ(static_cast<uint32_t>((t * 64u + 999u) / 1000u * 15625u / 1000u), t);
}

}  // namespace
}  // namespace kirnow::platform
