// SPDX-License-Identifier: Apache-2.0
#include "sim/fault_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rdm/discovery.h"
#include "sim_bench.h"
#include "update/update_job.h"

namespace quillmont::testing {
namespace {

FaultPlan Parse(const std::string& faults) {
  const Result<FaultPlan> plan = ParseFaultList(faults);
  EXPECT_TRUE(plan) << plan.error().message;
  return plan.value_or(FaultPlan{});
}

TEST(FaultList, ParsesEveryKindOfFault) {
  const FaultPlan plan = Parse(
      "seed=7,drop=3,corrupt=5,drop-rate=0.02,noise@2000ms,unplug@10s,replug@12s,slow=3,"
      "reset-in-erase=1,corrupt-rate=.5,noise@250us:3,drop=9,second-fixture");
  EXPECT_EQ(plan.seed, 7u);
  EXPECT_EQ(plan.drop_replies, (std::vector<uint64_t>{3, 9}));
  EXPECT_EQ(plan.corrupt_replies, (std::vector<uint64_t>{5}));
  EXPECT_DOUBLE_EQ(plan.drop_rate, 0.02);
  EXPECT_DOUBLE_EQ(plan.corrupt_rate, 0.5);
  ASSERT_EQ(plan.noise.size(), 2u);
  EXPECT_EQ(plan.noise[0].at_micros, 2000000u);
  EXPECT_EQ(plan.noise[0].count, 8u);
  EXPECT_EQ(plan.noise[1].at_micros, 250u);
  EXPECT_EQ(plan.noise[1].count, 3u);
  ASSERT_EQ(plan.unplugs.size(), 1u);
  EXPECT_EQ(plan.unplugs[0].unplug_micros, 10000000u);
  EXPECT_EQ(plan.unplugs[0].replug_micros, 12000000u);
  EXPECT_EQ(plan.slow, 3u);
  EXPECT_EQ(plan.reset_in_erase, 1);
  EXPECT_TRUE(plan.second_fixture);
  EXPECT_EQ(Parse("").drop_replies.size(), 0u);
}

TEST(FaultList, RejectsBadListsWithAMessageAndLeavesThePlanAlone) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"drop=0", "bad fault \"drop=0\": expected a reply number from 1"},
      {"seed=7,drop=x", "bad fault \"drop=x\": expected a reply number from 1"},
      {"noise@2000", "bad fault \"noise@2000\": expected a time such as 2000ms, 10s or 500us"},
      {"noise@5ms:0", "bad fault \"noise@5ms:0\": expected a byte count from 1 to 256 after ':'"},
      {"replug@1s", "bad fault \"replug@1s\": a replug needs an unplug before it"},
      {"unplug@2s,replug@1s", "bad fault \"replug@1s\": a replug must come after its unplug"},
      {"unplug@2s,unplug@3s", "bad fault \"unplug@3s\": the adapter is already unplugged"},
      {"slow=0", "bad fault \"slow=0\": expected a factor from 1 to 1000"},
      {"drop-rate=1.5", "bad fault \"drop-rate=1.5\": expected a probability from 0 to 1"},
      {"drop-rate=-1", "bad fault \"drop-rate=-1\": expected a probability from 0 to 1"},
      {"frobnicate=1", "bad fault \"frobnicate=1\": unknown fault"},
      {"jam@1s", "bad fault \"jam@1s\": unknown timed fault (noise, unplug or replug)"},
      {"seed=7,,drop=1", "bad fault list: empty item"},
      {"drop=1 ", "bad fault \"drop=1 \": expected a reply number from 1"},
      {"second", "bad fault \"second\": expected name=value, name@time or a fault's name"},
  };
  for (const auto& [faults, message] : cases) {
    const Result<FaultPlan> plan = ParseFaultList(faults);
    ASSERT_FALSE(plan) << faults;
    EXPECT_EQ(plan.error().message, message);
  }
}

// What the host read after each of `count` GETs: the raw bytes, garbled or not.
std::vector<std::vector<uint8_t>> RunGets(const std::string& faults, int count) {
  SimBench bench;
  bench.line.InstallFaults(0, Parse(faults));
  std::vector<std::vector<uint8_t>> seen;
  for (int i = 0; i < count; ++i) {
    bench.Send(GET_COMMAND, DEVICE_MODEL_DESCRIPTION);
    bench.clock.SleepMs(10);
    std::vector<uint8_t> bytes(bench.Waiting());
    uint32_t read = 0;
    bench.line.FT_Read(bench.link, bytes.data(), static_cast<uint32_t>(bytes.size()), &read);
    seen.push_back(bytes);
  }
  return seen;
}

TEST(FaultPlanOnTheLine, DropAndCorruptHitTheNamedReplies) {
  const auto clean = RunGets("", 1).front();
  const auto seen = RunGets("drop=2,corrupt=3", 4);
  EXPECT_EQ(seen[0], clean);
  EXPECT_TRUE(seen[1].empty());
  ASSERT_EQ(seen[2].size(), clean.size());
  int differing = 0;
  for (size_t i = 0; i < clean.size(); ++i) {
    differing += seen[2][i] != clean[i];
  }
  EXPECT_EQ(differing, 1);
  EXPECT_EQ(seen[3], clean);
}

TEST(FaultPlanOnTheLine, RatesAreRepeatableForASeed) {
  const auto first = RunGets("seed=7,drop-rate=0.3,corrupt-rate=0.3", 40);
  EXPECT_EQ(RunGets("seed=7,drop-rate=0.3,corrupt-rate=0.3", 40), first);
  EXPECT_NE(RunGets("seed=8,drop-rate=0.3,corrupt-rate=0.3", 40), first);
  const auto clean = RunGets("", 1).front();
  int dropped = 0;
  int corrupted = 0;
  for (const auto& bytes : first) {
    dropped += bytes.empty();
    corrupted += !bytes.empty() && bytes != clean;
  }
  EXPECT_GT(dropped, 4);
  EXPECT_LT(dropped, 24);
  EXPECT_GT(corrupted, 2);
}

TEST(FaultPlanOnTheLine, NoiseArrivesAtItsTimeTheSameForTheSameSeed) {
  std::vector<uint8_t> bursts[2];
  for (auto& burst : bursts) {
    SimBench bench;
    bench.line.InstallFaults(0, Parse("seed=3,noise@5ms:4,ideal-adapter"));
    bench.clock.AdvanceMicros(5000 + 44 - 1);
    EXPECT_EQ(bench.Waiting(), 0u);
    bench.clock.AdvanceMicros(1);
    EXPECT_EQ(bench.Waiting(), 1u);
    bench.clock.AdvanceMicros(3 * 44);
    burst.resize(bench.Waiting());
    uint32_t read = 0;
    bench.line.FT_Read(bench.link, burst.data(), 8, &read);
  }
  EXPECT_EQ(bursts[0].size(), 4u);
  EXPECT_EQ(bursts[0], bursts[1]);
}

TEST(FaultPlanOnTheLine, UnpluggedAdapterFailsUntilReopenedAfterTheReplug) {
  SimBench bench;
  bench.line.InstallFaults(0, Parse("unplug@10ms,replug@20ms"));
  uint32_t value = 0;
  uint32_t rx = 0, tx = 0, events = 0;
  uint8_t buffer[4];
  bench.clock.AdvanceMicros(9999);
  EXPECT_EQ(bench.line.FT_GetModemStatus(bench.link, &value), FT_OK);
  bench.clock.AdvanceMicros(1);
  EXPECT_NE(bench.line.FT_GetModemStatus(bench.link, &value), FT_OK);
  EXPECT_NE(bench.line.FT_GetStatus(bench.link, &rx, &tx, &events), FT_OK);
  EXPECT_NE(bench.line.FT_Read(bench.link, buffer, 4, &value), FT_OK);
  EXPECT_EQ(bench.Send(GET_COMMAND, DMX_START_ADDRESS), -1);
  EXPECT_EQ(bench.line.FT_CreateDeviceInfoList(&value), FT_OK);
  EXPECT_EQ(value, 0u);
  FT_HANDLE fresh = nullptr;
  EXPECT_EQ(bench.line.FT_Open(0, &fresh), FT_DEVICE_NOT_FOUND);

  bench.clock.SleepMs(10);
  EXPECT_EQ(bench.line.FT_CreateDeviceInfoList(&value), FT_OK);
  EXPECT_EQ(value, 1u);
  // The old handle stays dead; a new open works and talks to the fixture.
  EXPECT_NE(bench.line.FT_GetModemStatus(bench.link, &value), FT_OK);
  EXPECT_EQ(bench.line.FT_Close(bench.link), FT_OK);
  ASSERT_TRUE(OpenLink(bench.io, bench.link, 0));
  EXPECT_TRUE(SetLinkBaud(bench.io, bench.link, 250000));
  EXPECT_EQ(bench.Exchange(GET_COMMAND, DMX_START_ADDRESS).size(), 28u);
}

TEST(FaultPlanOnTheLine, SlowFixtureTakesItsTimesMultiplied) {
  SimBench bench;
  bench.line.InstallFaults(0, Parse("slow=3,ideal-adapter"));
  bench.Send(GET_COMMAND, DMX_START_ADDRESS);
  // Request end at 1360 us; 3 x 200 us turnaround; reply break and mark; first byte.
  const uint64_t first = 216 + 26 * 44 + 600 + 188 + 44;
  bench.clock.AdvanceMicros(first - 1 - bench.clock.NowMicros());
  EXPECT_EQ(bench.Waiting(), 0u);
  bench.clock.AdvanceMicros(1);
  EXPECT_EQ(bench.Waiting(), 1u);
}

TEST(FaultPlanOnTheLine, ResetInEraseLeavesTheBlockHalfErasedAndTheFixtureInItsBootloader) {
  FixtureConfig config;
  config.start_in_bootloader = true;
  SimBench bench(config);
  const std::vector<uint8_t> zeros(kFlashSize - 0x4000, 0x00);
  bench.fixture().flash().Load(0x4000, zeros.data(), static_cast<uint32_t>(zeros.size()));
  bench.line.InstallFaults(0, Parse("reset-in-erase=1"));
  std::vector<uint8_t> erase = {0x55, 0xA1, 0x00, 0x00, 0x40, 0x00, 0, 0, 0, 0};
  WordSumChecksum(erase.data(), 3);
  bench.Send(SET_COMMAND, PID_BOOTLOADER, erase);
  bench.clock.SleepMs(200);
  EXPECT_EQ(bench.Waiting(), 0u);
  // The erase of 0x4000 reaches the end of flash; half of it was done.
  EXPECT_EQ(bench.fixture().flash().at(0x4000), 0xFF);
  EXPECT_EQ(bench.fixture().flash().at(0x21FFF), 0xFF);
  EXPECT_EQ(bench.fixture().flash().at(0x22000), 0x00);
  const auto poll = bench.Exchange(DISCOVERY_COMMAND, DISC_UN_MUTE);
  EXPECT_EQ(ParameterData(poll), (std::vector<uint8_t>{0x00, kControlBootLoader}));
  // Only the first erase resets; the one sent again completes.
  EXPECT_EQ(ParameterData(bench.Exchange(SET_COMMAND, PID_BOOTLOADER, erase)),
            (std::vector<uint8_t>{0x55, 0xA1}));
  EXPECT_EQ(bench.fixture().flash().at(0x3FFFF), 0xFF);
}

TEST(FaultPlanOnTheLine, SecondFixtureMakesDiscoveryFail) {
  SimBench bench;
  RdmUid target{};
  ASSERT_EQ(DiscoverSingleDevice(bench.io, bench.link, target), 0);
  bench.line.InstallFaults(0, Parse("second-fixture"));
  ASSERT_EQ(bench.line.fixture_count(0), 2);
  EXPECT_EQ(bench.line.fixture(0, 1).config().uid[5], 0x79);
  EXPECT_EQ(DiscoverSingleDevice(bench.io, bench.link, target), -1);
}

}  // namespace
}  // namespace quillmont::testing
