// SPDX-License-Identifier: Apache-2.0
// Updates on the simulated fixture with lost, corrupted and noisy replies, a fixture that resets
// while it erases, and an adapter pulled out: every run ends within its budget, and a run that
// reports success has left the image in the flash.
#include <gtest/gtest.h>

#include <string>

#include "update_sim_bench.h"

namespace quillmont {
namespace {

using testing::ExamplePath;

struct FaultCase {
  const char* name;
  const char* faults;
  const char* file;
};

class FaultyLineUpdateTest : public ::testing::TestWithParam<FaultCase>,
                             public testing::SimUpdateBench {};

TEST_P(FaultyLineUpdateTest, EndsWithSuccessOverAGoodFlashOrWithAnAbort) {
  Connect();
  const Result<FaultPlan> plan = ParseFaultList(GetParam().faults);
  ASSERT_TRUE(plan) << plan.error().message;
  line.InstallFaults(0, *plan);

  const std::string path = ExamplePath(GetParam().file);
  // No run can outlast every chunk sent five times, 101 ticks apart.
  const std::string log = Update(path, 60000);
  ASSERT_TRUE(finished) << "the update never ended";
  EXPECT_EQ(port.Text(kUpdateButton), "Update Firmware");

  const size_t done = log.find("\r\n VERY WELL DONE !\r\n");
  if (done != std::string::npos) {
    EXPECT_TRUE(FlashHolds(path));
    EXPECT_EQ(log.find("ABORTED"), std::string::npos);
    // The acknowledged start, then the fixture heard from its new application, last.
    EXPECT_TRUE(testing::EndsWithVerdict(log, testing::kStartedApplication)) << log;
  } else if (!port.message_boxes.empty()) {
    // The adapter was gone while the device was looked for: the device is no longer known.
    EXPECT_EQ(port.message_boxes.back(), "No devices connected");
    EXPECT_EQ(log.find("Erasing"), std::string::npos);
  } else {
    EXPECT_TRUE(testing::EndsWithReason(log, testing::kAborted, "The ")) << log;
  }
  RecordProperty("outcome", done != std::string::npos    ? "success"
                            : port.message_boxes.empty() ? "abort"
                                                         : "no device");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultyLineUpdateTest,
    ::testing::Values(
        FaultCase{"OneLostReply", "drop=3", "fixture-app-1.1.srec2"},
        FaultCase{"OneCorruptedReply", "corrupt=6", "fixture-low-blocks.srec2"},
        FaultCase{"LostReplies", "drop-rate=0.1,seed=7", "fixture-app-1.1.srec2"},
        FaultCase{"CorruptedReplies", "corrupt-rate=0.1,seed=3", "fixture-low-start.srec2"},
        FaultCase{"ManyLostReplies", "drop-rate=0.6,seed=11", "fixture-app-1.1.srec2"},
        FaultCase{"Noise", "noise@100ms:40,noise@400ms:200,noise@700ms:3,seed=5",
                  "fixture-low-blocks.srec2"},
        FaultCase{"ResetWhileErasing", "reset-in-erase=1", "fixture-app-1.1.srec2"},
        FaultCase{"ResetInTheThirdErase", "reset-in-erase=3", "fixture-low-blocks.srec2"},
        FaultCase{"SlowFixture", "slow=8", "fixture-low-start.srec2"},
        FaultCase{"VerySlowFixture", "slow=200", "fixture-app-1.1.srec2"},
        FaultCase{"AdapterPulledOutWhileProgramming", "unplug@600ms", "fixture-app-1.1.srec2"},
        FaultCase{"AdapterPulledOutAndBack", "unplug@300ms,replug@2s", "fixture-app-1.1.srec2"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

// The cases that must succeed do; the ones that cannot, abort.
class FaultOutcomeTest : public ::testing::Test, public testing::SimUpdateBench {
 protected:
  std::string Run(const char* faults, const char* file) {
    Connect();
    const Result<FaultPlan> plan = ParseFaultList(faults);
    EXPECT_TRUE(plan) << plan.error().message;
    line.InstallFaults(0, plan.value_or(FaultPlan{}));
    return Update(ExamplePath(file), 60000);
  }
};

TEST_F(FaultOutcomeTest, AFixtureThatResetsWhileErasingIsErasedAgainAndUpdated) {
  const std::string log = Run("reset-in-erase=1", "fixture-app-1.1.srec2");
  ASSERT_TRUE(finished);
  EXPECT_TRUE(testing::EndsWithVerdict(log, testing::kStartedApplication)) << log;
  EXPECT_NE(log.find("Erasing block $4000...\r\nErasing block $4000...\r\n"), std::string::npos);
  EXPECT_TRUE(FlashHolds(ExamplePath("fixture-app-1.1.srec2")));
}

TEST_F(FaultOutcomeTest, AnAdapterPulledOutMidwayEndsInAnAbortWithinTheBudget) {
  const std::string log = Run("unplug@600ms", "fixture-app-1.1.srec2");
  ASSERT_TRUE(finished);
  EXPECT_EQ(window.link, nullptr);
  EXPECT_TRUE(testing::EndsWithReason(log, testing::kAborted, "The adapter was lost while "))
      << log;
  EXPECT_LE(pacer.ticks_run(), 60 + 5 * 101 + 8) << "one chunk's budget after the loss";
}

TEST_F(FaultOutcomeTest, LostRepliesAreMadeGoodByResends) {
  const std::string log = Run("drop=3,drop=9,drop=20", "fixture-low-blocks.srec2");
  ASSERT_TRUE(finished);
  EXPECT_TRUE(testing::EndsWithVerdict(log, testing::kStartedApplication)) << log;
  EXPECT_TRUE(FlashHolds(ExamplePath("fixture-low-blocks.srec2")));
}

}  // namespace
}  // namespace quillmont
