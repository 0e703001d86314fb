// SPDX-License-Identifier: Apache-2.0
#include "rdm/discovery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/fault_plan.h"
#include "sim_bench.h"

namespace quillmont::testing {
namespace {

std::vector<uint8_t> RawDiscoveryAnswer(SimBench& bench) {
  EXPECT_TRUE(SendBreak(bench.io, bench.link));
  uint32_t written = 0;
  bench.line.FT_Write(bench.link, kDiscUniqueBranchFrame.data(),
                      static_cast<uint32_t>(kDiscUniqueBranchFrame.size()), &written);
  uint8_t buffer[32] = {};
  const int got = ReadWithTimeout(bench.io, bench.link, buffer, 30, 50).value_or(0);
  return std::vector<uint8_t>(buffer, buffer + got);
}

TEST(SimulatedDiscovery, DefaultFixtureSendsTheEncodedAnswerWithSevenPreambleBytes) {
  SimBench bench;
  const std::vector<uint8_t> expected = {0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xAA,
                                         0xEF, 0x5F, 0xEE, 0x5D, 0xBA, 0x57, 0xBE, 0x75,
                                         0xFE, 0x57, 0xFA, 0x7D, 0xAF, 0x57, 0xAB, 0xFD};
  EXPECT_EQ(RawDiscoveryAnswer(bench), expected);
}

TEST(SimulatedDiscovery, DiscoverSingleDeviceFindsTheFixture) {
  SimBench bench;
  RdmUid target{};
  EXPECT_EQ(DiscoverSingleDevice(bench.io, bench.link, target), 0);
  EXPECT_EQ(target, kFixtureUid);
}

TEST(SimulatedDiscovery, TheWindowsDiscoveryOverARealAdapterFindsItsFixture) {
  // A 16 ms latency timer delays the answer within the 200 ms window; the stray bytes of the
  // line turning around move the separator of a 3-byte preamble to index 5, and one stray byte
  // ahead of 7 preamble bytes to index 8, whose last pair byte is then read too; an adapter that
  // hears itself hands back its own break and request first. Found on every one.
  FixtureConfig short_preamble;
  short_preamble.discovery_preamble = 3;
  const struct {
    const FixtureConfig config;
    const char* faults;
  } cases[] = {{short_preamble, "latency=16ms"},
               {short_preamble, "latency=16ms,stray=2"},
               {FixtureConfig{}, "stray=1"},
               {FixtureConfig{}, "echo,stray=1,latency=16ms"}};
  for (const auto& c : cases) {
    SimBench bench(c.config);
    const Result<FaultPlan> plan = ParseFaultList(c.faults);
    ASSERT_TRUE(plan);
    bench.line.InstallFaults(0, *plan);
    RdmUid target{};
    EXPECT_EQ(DiscoverSingleDevice(bench.io, bench.link, target), 0) << c.faults;
    EXPECT_EQ(target, kFixtureUid);
    EXPECT_EQ(bench.Waiting(), 0u);
  }
}

TEST(SimulatedDiscovery, TwoFixturesCollideAndDiscoveryFails) {
  SimBench bench;
  FixtureConfig second;
  second.uid = {0x4F, 0x4C, 0x00, 0x00, 0x00, 0x01};
  bench.line.AddFixture(0, second);
  RdmUid target{};
  EXPECT_EQ(DiscoverSingleDevice(bench.io, bench.link, target), -1);
  // The collided answer is one answer long: the bytes were ANDed, not queued twice.
  const std::vector<uint8_t> raw = RawDiscoveryAnswer(bench);
  ASSERT_EQ(raw.size(), 24u);
  EXPECT_EQ(raw[7], 0xAA);
  EXPECT_EQ(raw[12], (0x12 | 0xAA) & (0x00 | 0xAA));  // the third UID byte's pair
}

TEST(SimulatedDiscovery, MuteSilencesTheBranchAnswerUntilABroadcastUnMute) {
  SimBench bench;
  const auto mute = bench.Exchange(DISCOVERY_COMMAND, DISC_MUTE);
  ASSERT_EQ(mute.size(), 28u);
  EXPECT_EQ(mute[kOffsetCommandClass], DISCOVERY_COMMAND_RESPONSE);
  EXPECT_EQ(ParameterData(mute), (std::vector<uint8_t>{0x00, 0x00}));
  EXPECT_TRUE(bench.fixture().muted());
  EXPECT_TRUE(RawDiscoveryAnswer(bench).empty());

  // The broadcast un-mute gets no reply but clears the mute.
  SendUnMuteAll(bench.io, bench.link);
  bench.clock.SleepMs(20);
  EXPECT_EQ(bench.Waiting(), 0u);
  EXPECT_FALSE(bench.fixture().muted());
  EXPECT_EQ(RawDiscoveryAnswer(bench).size(), 24u);
}

TEST(SimulatedDiscovery, BranchOutsideTheFixturesUidGetsNoAnswer) {
  SimBench bench;
  // 4F4C:12345679 to FFFF:FFFFFFFF lies above the fixture.
  const std::vector<uint8_t> pd = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x79,
                                   0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  bench.Send(DISCOVERY_COMMAND, DISC_UNIQUE_BRANCH, pd, kBroadcastUid);
  bench.clock.SleepMs(20);
  EXPECT_EQ(bench.Waiting(), 0u);
  // Its own UID as both bounds is inside.
  const std::vector<uint8_t> exact = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78,
                                      0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};
  bench.Send(DISCOVERY_COMMAND, DISC_UNIQUE_BRANCH, exact, kBroadcastUid);
  bench.clock.SleepMs(20);
  EXPECT_EQ(bench.Waiting(), 24u);
}

}  // namespace
}  // namespace quillmont::testing
