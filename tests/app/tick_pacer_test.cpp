// SPDX-License-Identifier: Apache-2.0
// The tick pacer runs ticks the way a 10 ms periodic timer does.
#include <gtest/gtest.h>

#include "support/scripted_fixture.h"
#include "support/window_harness.h"

namespace quillmont {
namespace {

using testing::ScriptedFixture;
using testing::ScriptedWindowHarness;

class TickPacerTest : public ::testing::Test, public ScriptedWindowHarness {
 protected:
  void SetUp() override { Init(); }
};

TEST_F(TickPacerTest, QuietTicksStartTenMillisecondsApartWithoutSleeping) {
  driver.device_count = 0;
  pacer.Tick();
  EXPECT_EQ(pacer.last_tick_start(), 10000u);
  pacer.RunTicks(3);
  EXPECT_EQ(pacer.last_tick_start(), 40000u);
  EXPECT_EQ(pacer.ticks_run(), 4);
  EXPECT_EQ(clock.sleep_calls(), 0u) << "the waits between ticks are not the line's sleeps";
}

TEST_F(TickPacerTest, ATickThatOverrunsItsPeriodIsFollowedAtOnce) {
  ScriptedFixture fixture(driver);
  fixture.turnaround_micros = 12'000;  // a slow answer holds the discovery's tick
  pacer.RunTicks(5);
  EXPECT_EQ(pacer.last_tick_start(), 50000u);
  pacer.Tick();  // discovery, waiting for the answer
  const uint64_t sixth_start = pacer.last_tick_start();
  const uint64_t sixth_end = clock.NowMicros();
  ASSERT_GT(sixth_end, sixth_start + 10000);
  pacer.Tick();
  EXPECT_EQ(pacer.last_tick_start(), sixth_end);
}

TEST_F(TickPacerTest, RunUntilStopsWhenItHoldsAndIsBounded) {
  ScriptedFixture fixture(driver);
  EXPECT_TRUE(pacer.RunUntil([&] { return window.device_found == 1; }, 100));
  EXPECT_EQ(pacer.ticks_run(), 6);
  EXPECT_FALSE(pacer.RunUntil([] { return false; }, 25));
  EXPECT_EQ(pacer.ticks_run(), 31);
}

TEST(TickPacerOnRealClock, SleepsOnTheClockBetweenTicks) {
  // A VirtualClock seen as a plain Clock: the pacer can only sleep on it.
  ScriptedWindowHarness h;
  h.driver.device_count = 0;
  h.Init();
  Clock& plain = h.clock;
  TickPacer pacer(h.window, plain);
  pacer.RunTicks(2);
  EXPECT_EQ(h.clock.sleep_calls(), 2u);
  EXPECT_EQ(h.clock.slept_ms(), 20u);
  EXPECT_EQ(pacer.last_tick_start(), 20000u);
}

}  // namespace
}  // namespace quillmont
