#include "rdm/discovery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/fault_plan.h"
#include "sim_bench.h"

namespace quillmont::testing {
namespace {

std::vector<uint8_t> RawDiscoveryAnswer(SimBench& bench) {
  SendBreak(bench.io, bench.link);
  uint32_t written = 0;
  bench.line.FT_Write(bench.link, kDiscUniqueBranchFrame.data(),
                      static_cast<uint32_t>(kDiscUniqueBranchFrame.size()), &written);
  uint8_t buffer[32] = {};
  const int got = ReadWithTimeout(bench.io, bench.link, buffer, 30, 50);
  return std::vector<uint8_t>(buffer, buffer + (got > 0 ? got : 0));
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

TEST(SimulatedDiscovery, TheWindowsDiscoveryOverARealAdapterKeepsItsFixedReadAndSeparatorWindow) {
  // A 16 ms latency timer delays the answer within the 200 ms read, and the stray bytes of the
  // line turning around move the separator of a 3-byte preamble to index 5: found.
  FixtureConfig short_preamble;
  short_preamble.discovery_preamble = 3;
  for (const char* faults : {"latency=16ms", "latency=16ms,stray=2"}) {
    SimBench bench(short_preamble);
    FaultPlan plan;
    std::string error;
    ASSERT_TRUE(ParseFaultList(faults, plan, error));
    bench.line.InstallFaults(0, plan);
    RdmUid target{};
    EXPECT_EQ(DiscoverSingleDevice(bench.io, bench.link, target), 0) << faults;
    EXPECT_EQ(target, kFixtureUid);
  }
  // Behind 7 preamble bytes one stray byte pushes the last pair byte past the 24 bytes read:
  // no valid answer, and the byte left over is drained before the next discovery.
  SimBench bench;
  FaultPlan plan;
  std::string error;
  ASSERT_TRUE(ParseFaultList("stray=1", plan, error));
  bench.line.InstallFaults(0, plan);
  RdmUid target = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(DiscoverSingleDevice(bench.io, bench.link, target), -1);
  EXPECT_EQ(target, (RdmUid{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(bench.Waiting(), 1u);
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
