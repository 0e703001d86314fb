// SPDX-License-Identifier: Apache-2.0
// The window core behind each adapter technicians own, on the simulated line: one that hears
// itself, a CH340 stick, one whose breaks never reach the line, one that refuses them. Each
// either updates the fixture, leaving the image in flash, or tells why nothing answers.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/event_pacer.h"
#include "sim/adapter_model.h"
#include "sim/simulated_line.h"
#include "update_bench.h"
#include "update_sim_bench.h"

namespace quillmont {
namespace {

using testing::ExamplePath;
using testing::WindowHarness;

struct Behind {
  AdapterProfile profile;
  Pacing pacing;
};

class UpdateBehindAdapterTest : public ::testing::TestWithParam<Behind>,
                                public testing::SimLineParts,
                                public WindowHarness {
 protected:
  UpdateBehindAdapterTest() : WindowHarness(line, clock) {
    line.SetModel(line.AddAdapter(), ModelOfProfile(GetParam().profile));
    line.AddFixture(0);
    if (GetParam().pacing == Pacing::kEvent) {
      events = std::make_unique<EventPacer>(window, clock);
    }
  }
  WindowPacer& Pacer() { return events ? static_cast<WindowPacer&>(*events) : pacer; }

  std::unique_ptr<EventPacer> events;
};

TEST_P(UpdateBehindAdapterTest, FindsTheFixtureAndUpdatesIt) {
  const std::string path = ExamplePath("fixture-app-1.1.srec2");
  Init();
  ASSERT_TRUE(Pacer().RunUntil([&] { return !port.Text(kVersionLabel).empty(); }, 40));
  EXPECT_EQ(port.Text(kUidEdit), "4F 4C 12 34 56 78");
  port.file_dialog_answers.push_back(path);
  window.OnUpdateButton();
  ASSERT_TRUE(Pacer().RunUntil([&] { return window.job.state() == UpdateState::kIdle; }, 3000));
  EXPECT_NE(window.log_text.find("The fixture answers from its new application"),
            std::string::npos);
  const testing::LoadedFirmware file = testing::LoadFirmware(path);
  EXPECT_TRUE(FlashHoldsImage(line.fixture(0).flash(), *file.raw));
}

INSTANTIATE_TEST_SUITE_P(Adapters, UpdateBehindAdapterTest,
                         ::testing::Values(Behind{AdapterProfile::kFtdiEcho, Pacing::kTick},
                                           Behind{AdapterProfile::kFtdiEcho, Pacing::kEvent},
                                           Behind{AdapterProfile::kCh340, Pacing::kEvent}),
                         [](const auto& info) {
                           std::string name = AdapterProfileName(info.param.profile);
                           std::erase(name, '-');
                           return name + (info.param.pacing == Pacing::kTick ? "Tick" : "Event");
                         });

// The update clicked while the receiver has begun, between ticks, the echo of another request
// (the un-mute that asks where the fixture runs): the drain before the update takes that frame's
// rest, so the receiver must start afresh and hear the un-mute that looks for the bootloader.
TEST(UpdateBehindAnEchoingAdapter, StartsWhileAnEchoIsHalfReadAndFindsTheBootloader) {
  VirtualClock clock;
  SimulatedLine line(clock);
  line.SetModel(line.AddAdapter(), ModelOfProfile(AdapterProfile::kFtdiEcho));
  line.AddFixture(0);
  WindowHarness h(line, clock);
  EventPacer events(h.window, clock);
  h.Init();
  ASSERT_TRUE(events.RunUntil([&] { return !h.port.Text(kVersionLabel).empty(); }, 40));
  events.RunTicks(2);  // the address too: the line is quiet
  h.window.PollControlField();
  for (int look = 0; look < 30 && h.window.rx_length == 0; ++look) {
    clock.AdvanceMicros(100);
    h.window.OnLineReadable();
  }
  ASSERT_GT(h.window.rx_length, 0);
  ASSERT_LT(h.window.rx_length, 26) << "the un-mute's echo is half read";
  const std::string path = ExamplePath("fixture-app-1.1.srec2");
  const size_t mark = h.window.log_text.size();
  h.port.file_dialog_answers.push_back(path);
  h.window.OnUpdateButton();
  ASSERT_TRUE(events.RunUntil([&] { return h.window.job.state() == UpdateState::kIdle; }, 3000));
  const std::string log = h.window.log_text.substr(mark);
  EXPECT_NE(log.find("The fixture answers from its new application"), std::string::npos) << log;
  // One un-mute finds the application, the next the bootloader: none of them goes unheard.
  int looks = 0;
  for (size_t at = log.find("Looking for bootloader..."); at != std::string::npos;
       at = log.find("Looking for bootloader...", at + 1)) {
    ++looks;
  }
  EXPECT_EQ(looks, 2) << log;
  const testing::LoadedFirmware file = testing::LoadFirmware(path);
  EXPECT_TRUE(FlashHoldsImage(line.fixture(0).flash(), *file.raw));
}

class NothingAnswersTest : public ::testing::Test,
                           public testing::SimLineParts,
                           public WindowHarness {
 protected:
  NothingAnswersTest() : WindowHarness(line, clock) { line.AddFixture(line.AddAdapter()); }
};

TEST_F(NothingAnswersTest, ARefusedBreakIsToldAndABreakLostOnTheWayIsNot) {
  // A driver that refuses the break: the window says so, once.
  line.SetModel(0, ModelOfProfile(AdapterProfile::kFtdi));
  FaultPlan refuse;
  refuse.refuse_break = true;
  line.InstallFaults(0, refuse);
  Init();
  Ticks(320);
  EXPECT_EQ(port.Text(kStatusLine), "No RDM Device available: the adapter cannot send a break.");
  size_t told = 0;
  for (size_t at = window.log_text.find(kBreakRefusedText); at != std::string::npos;
       at = window.log_text.find(kBreakRefusedText, at + 1)) {
    ++told;
  }
  EXPECT_EQ(told, 1u);
  EXPECT_EQ(line.replies(0), 0u);
}

TEST(NothingAnswersBehindAPl2303, ItsBreaksNeverReachTheLine) {
  VirtualClock clock;
  SimulatedLine line(clock);
  line.SetModel(line.AddAdapter(), ModelOfProfile(AdapterProfile::kPl2303));
  line.AddFixture(0);
  WindowHarness h(line, clock);
  h.Init();
  h.Ticks(20);
  EXPECT_EQ(h.port.Text(kStatusLine),
            "No RDM Device available. Only ONE device should be connected.");
  EXPECT_EQ(line.replies(0), 0u) << "no fixture took a frame";
}

}  // namespace
}  // namespace quillmont
