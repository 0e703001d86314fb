// SPDX-License-Identifier: Apache-2.0
// Full discovery against the simulated line: the real timing model, collisions as the bitwise
// AND of overlapping answers, and scripted faults.
#include "rdm/full_discovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "link/clock.h"
#include "rdm/discovery.h"
#include "rdm/frame_view.h"
#include "rdm/message.h"
#include "sim/fault_plan.h"
#include "sim/simulated_line.h"
#include "support/scripted_driver.h"

namespace quillmont {
namespace {

class FullDiscoveryTest : public ::testing::Test {
 protected:
  FullDiscoveryTest() {
    line.AddAdapter();
    EXPECT_TRUE(OpenLink(io, link, 0));
    EXPECT_TRUE(SetLinkBaud(io, link, 250000));
  }

  RdmUid Add(uint64_t number) {
    FixtureConfig config;
    config.uid = NumberToUid(number);
    line.AddFixture(0, config);
    return config.uid;
  }

  void Faults(const std::string& list) {
    const Result<FaultPlan> plan = ParseFaultList(list);
    ASSERT_TRUE(plan) << plan.error().message;
    line.InstallFaults(0, *plan);
  }

  static std::vector<RdmUid> Sorted(std::vector<RdmUid> uids) {
    std::sort(uids.begin(), uids.end());
    return uids;
  }

  VirtualClock clock;
  SimulatedLine line{clock};
  std::ostringstream diag;
  LineIo io{line, clock, diag};
  LinkHandle link = nullptr;
};

TEST_F(FullDiscoveryTest, FindsExactlyTheDevicesOnTheLine) {
  // Neighbours that differ only in their last bit collide down to the bottom of the tree; the
  // others sit in other manufacturers' ranges and at both ends of the range.
  const std::vector<RdmUid> uids = {Add(0x4F4C12345678), Add(0x4F4C12345679), Add(0x000000000001),
                                    Add(0x7FFF00000000), Add(0xFFFFFFFFFFFE)};
  const FullDiscoveryResult result = DiscoverAllDevices(io, link);
  EXPECT_EQ(result.found, Sorted(uids));
  EXPECT_TRUE(result.unresponsive.empty());
  EXPECT_TRUE(result.complete);
  EXPECT_GT(result.collisions, 0);
  // Every device is muted: a second pass over the range hears nothing and ends the search.
  EXPECT_EQ(result.passes, 2);
  for (int i = 0; i < line.fixture_count(0); ++i) {
    EXPECT_TRUE(line.fixture(0, i).muted());
  }
}

TEST_F(FullDiscoveryTest, OneDeviceTakesOneBranchAndOneMutePerPass) {
  const RdmUid uid = Add(0x4F4C12345678);
  const FullDiscoveryResult result = DiscoverAllDevices(io, link);
  EXPECT_EQ(result.found, std::vector<RdmUid>{uid});
  EXPECT_EQ(result.collisions, 0);
  // Un-mute, branch (answer), mute, branch again (silence), then the second pass's branch,
  // asked four times before its silence is trusted.
  EXPECT_EQ(result.requests, 8);
  EXPECT_EQ(line.replies(0), 2u);
}

TEST_F(FullDiscoveryTest, AnEmptyLineEndsAfterOnePassOfFourSilentBranches) {
  const FullDiscoveryResult result = DiscoverAllDevices(io, link);
  EXPECT_TRUE(result.found.empty());
  EXPECT_TRUE(result.complete);
  EXPECT_EQ(result.requests, 5);
  EXPECT_EQ(result.passes, 1);
}

TEST_F(FullDiscoveryTest, ADeviceWhoseMuteIsNeverAcknowledgedIsReportedNotLoopedOn) {
  const RdmUid uid = Add(0x4F4C12345678);
  // Reply 1 is its branch answer; replies 2 to 7 the acknowledgements of the three mutes and of
  // the three asked again once the pass is over.
  Faults("drop=2,drop=3,drop=4,drop=5,drop=6,drop=7");
  const FullDiscoveryResult result = DiscoverAllDevices(io, link);
  EXPECT_TRUE(result.found.empty());
  EXPECT_EQ(result.unresponsive, std::vector<RdmUid>{uid});
  EXPECT_TRUE(result.complete);
  // Its range is split down to its own UID without further mutes: one branch per level.
  EXPECT_LE(result.requests, 2 + 3 + 2 * 48);
}

TEST_F(FullDiscoveryTest, AnAdapterPulledOutMidSearchEndsItQuickly) {
  for (int i = 0; i < 8; ++i) {
    Add(0x4F4C00000000 + static_cast<uint64_t>(i) * 0x1000003);
  }
  Faults("unplug@30ms");
  const FullDiscoveryResult result = DiscoverAllDevices(io, link);
  EXPECT_LT(result.found.size(), 8u);
  EXPECT_TRUE(result.complete);
  EXPECT_LT(result.requests, 200);
}

TEST_F(FullDiscoveryTest, NoiseOnTheLineCostsRequestsButLosesNoDevice) {
  const std::vector<RdmUid> uids = {Add(0x4F4C12345678), Add(0x4F4C12345700), Add(0x12345678)};
  std::string faults = "seed=7";
  for (int ms = 1; ms < 900; ms += 3) {
    faults += ",noise@" + std::to_string(ms) + "ms:8";
  }
  // The same line without noise, for the count of requests.
  VirtualClock quiet_clock;
  SimulatedLine quiet_line{quiet_clock};
  quiet_line.AddAdapter();
  for (const RdmUid& uid : uids) {
    FixtureConfig config;
    config.uid = uid;
    quiet_line.AddFixture(0, config);
  }
  LineIo quiet_io{quiet_line, quiet_clock, diag};
  LinkHandle quiet_link = nullptr;
  ASSERT_TRUE(OpenLink(quiet_io, quiet_link, 0));
  EXPECT_TRUE(SetLinkBaud(quiet_io, quiet_link, 250000));
  const FullDiscoveryResult quiet = DiscoverAllDevices(quiet_io, quiet_link);

  Faults(faults);
  const FullDiscoveryResult result = DiscoverAllDevices(io, link);
  EXPECT_EQ(result.found, Sorted(uids));
  EXPECT_EQ(quiet.found, Sorted(uids));
  EXPECT_GT(result.requests, quiet.requests);
}

TEST_F(FullDiscoveryTest, LostAnswersAndLostMuteAcknowledgementsLoseNoDevice) {
  const RdmUid uid = Add(0x4F4C12345678);
  // The first branch answer, and the three acknowledgements of its mutes.
  Faults("drop=1,drop=3,drop=4,drop=5");
  const FullDiscoveryResult result = DiscoverAllDevices(io, link);
  EXPECT_EQ(result.found, std::vector<RdmUid>{uid});
  EXPECT_TRUE(result.unresponsive.empty());
  // Silence asked again, the answer, three mutes unacknowledged, the muted device's silence
  // asked again; the fourth mute after the pass; then a pass that hears nothing.
  EXPECT_EQ(result.passes, 2);
}

// Five fixtures as quillmont-cli --sim-fixtures 5 puts them on the line, one reply in ten lost:
// every fixture is found on all 30 lines, and none reports itself complete with fewer.
TEST(FullDiscoveryOnALossyLine, FindsFiveOfFiveOnThirtySeeds) {
  int all_found = 0;
  for (int seed = 1; seed <= 30; ++seed) {
    VirtualClock clock;
    SimulatedLine line{clock};
    line.AddAdapter();
    for (uint32_t i = 0; i < 5; ++i) {
      FixtureConfig config;
      config.uid = NumberToUid(0x4F4C00000000ull + 0x12345678u + i * 0x01000193u);
      line.AddFixture(0, config);
    }
    const Result<FaultPlan> plan = ParseFaultList("drop-rate=0.1,seed=" + std::to_string(seed));
    ASSERT_TRUE(plan);
    line.InstallFaults(0, *plan);
    std::ostringstream diag;
    LineIo io{line, clock, diag};
    LinkHandle link = nullptr;
    ASSERT_TRUE(OpenLink(io, link, 0));
    ASSERT_TRUE(SetLinkBaud(io, link, 250000));
    const FullDiscoveryResult result = DiscoverAllDevices(io, link);
    all_found += result.found.size() == 5 ? 1 : 0;
    EXPECT_TRUE(result.found.size() == 5 || !result.complete)
        << "seed " << seed << ": " << result.found.size() << " found, complete";
  }
  EXPECT_GE(all_found, 29);
}

TEST_F(FullDiscoveryTest, TheRequestBudgetEndsASearchThatWouldGoOn) {
  for (int i = 0; i < 20; ++i) {
    Add(0x4F4C00000000 + static_cast<uint64_t>(i) * 0x1000193);
  }
  FullDiscoveryOptions options;
  options.max_requests = 30;
  const FullDiscoveryResult result = DiscoverAllDevices(io, link, options);
  EXPECT_FALSE(result.complete);
  EXPECT_EQ(result.requests, 30);
  EXPECT_LT(result.found.size(), 20u);
}

TEST(DecodeBranchAnswer, TakesZeroToSevenPreambleBytes) {
  const RdmUid uid = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};
  for (int preamble = 0; preamble <= 7; ++preamble) {
    uint8_t bytes[32] = {};
    const size_t n = EncodeDiscoveryAnswer(uid, preamble, bytes);
    RdmUid decoded{};
    EXPECT_EQ(DecodeBranchAnswer(bytes, static_cast<int>(n), decoded), BranchAnswer::kOneDevice)
        << preamble;
    EXPECT_EQ(decoded, uid);
  }
}

TEST(DecodeBranchAnswer, RefusesCollisionsTruncationAndExtraPreamble) {
  const RdmUid a = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};
  const RdmUid b = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x79};
  uint8_t first[32] = {};
  uint8_t second[32] = {};
  const int n = static_cast<int>(EncodeDiscoveryAnswer(a, 7, first));
  EncodeDiscoveryAnswer(b, 7, second);
  uint8_t collided[32] = {};
  for (int i = 0; i < n; ++i) {
    collided[i] = first[i] & second[i];
  }
  RdmUid out = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(DecodeBranchAnswer(collided, n, out), BranchAnswer::kGarbled);
  EXPECT_EQ(DecodeBranchAnswer(first, n - 1, out), BranchAnswer::kGarbled);
  EXPECT_EQ(DecodeBranchAnswer(first, 0, out), BranchAnswer::kSilence);
  // A separator beyond the bytes that may stand before it.
  uint8_t late[48] = {};
  std::fill(late, late + kMaxAnswerLeadBytes, 0xFE);
  std::copy(first + 7, first + n, late + kMaxAnswerLeadBytes);
  EXPECT_EQ(DecodeBranchAnswer(late, kMaxAnswerLeadBytes + 17, out), BranchAnswer::kGarbled);
  // Nothing of a refused answer reaches the UID.
  EXPECT_EQ(out, (RdmUid{1, 2, 3, 4, 5, 6}));
}

// --- A real adapter: the break's NUL, binding UIDs, stray bytes, a 16 ms latency timer ---

TEST_F(FullDiscoveryTest, FindsEveryDeviceThroughAnAdapterWithStrayBytesAndA16MsLatencyTimer) {
  const std::vector<RdmUid> uids = {Add(0x4F4C12345678), Add(0x4F4C12345679), Add(0x000000000001),
                                    Add(0x4F4C13355801), Add(0xFFFFFFFFFFFE)};
  Faults("seed=3,latency=16ms,stray=2");
  const FullDiscoveryResult result = DiscoverAllDevices(io, link);
  EXPECT_EQ(result.found, Sorted(uids));
  EXPECT_TRUE(result.unresponsive.empty());
  EXPECT_EQ(result.passes, 2);
  // Every answer window holds the 16 ms timer: three polls.
  EXPECT_EQ(AnswerWindowMs({}), 30);
}

TEST_F(FullDiscoveryTest, AnAdapterThatHearsItselfHasItsOwnRequestsReadPast) {
  const std::vector<RdmUid> uids = {Add(0x4F4C12345678), Add(0x4F4C12345679), Add(0x000000000001)};
  Faults("echo,stray=1");
  const FullDiscoveryResult result = DiscoverAllDevices(io, link);
  EXPECT_EQ(result.found, Sorted(uids));
  EXPECT_TRUE(result.unresponsive.empty());
  EXPECT_EQ(result.passes, 2);
}

TEST(FullDiscoveryOnAScriptedLine, AMuteAcknowledgedWithABindingUidAfterItsBreaksNulCounts) {
  VirtualClock clock;
  testing::ScriptedDriver driver{clock};
  std::ostringstream diag;
  LineIo io{driver, clock, diag};
  LinkHandle link = driver.handle();
  const RdmUid uid = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};
  bool muted = false;
  driver.on_write = [&](const std::vector<uint8_t>& frame) {
    const auto view = RdmFrameView::Of(frame);
    if (view && view->Is(DISCOVERY_COMMAND, DISC_UNIQUE_BRANCH) && !muted &&
        view->data().size() == 12) {
      RdmUid lower{}, upper{};
      std::copy(view->data().begin(), view->data().begin() + 6, lower.begin());
      std::copy(view->data().begin() + 6, view->data().end(), upper.begin());
      if (lower <= uid && uid <= upper) {
        std::vector<uint8_t> answer(24);
        EncodeDiscoveryAnswer(uid, 7, answer.data());
        driver.DeliverAfter(2000, answer);
      }
    } else if (view && view->Is(DISCOVERY_COMMAND, DISC_MUTE) && view->destination() == uid) {
      muted = true;
      const uint8_t data[8] = {0x00, 0x00, 0x4F, 0x4C, 0x12, 0x34, 0x56, 0x00};  // binding UID
      RdmFrameFields fields;
      fields.destination = view->source();
      fields.source = uid;
      fields.port_or_response_type = RESPONSE_TYPE_ACK;
      fields.command_class = DISCOVERY_COMMAND_RESPONSE;
      fields.pid = DISC_MUTE;
      fields.data = data;
      fields.pdl = 8;
      std::vector<uint8_t> reply(kRdmFrameBufferSize + 1);
      reply.resize(1 + BuildRdmFrame(fields, reply.data() + 1));  // after the break's NUL
      driver.DeliverAfter(2000, reply);
    }
  };
  const FullDiscoveryResult result = DiscoverAllDevices(io, link);
  EXPECT_EQ(result.found, std::vector<RdmUid>{uid});
  EXPECT_TRUE(result.unresponsive.empty());
  // Un-mute, branch, one mute, branch (silence), and the second pass's branch, asked four times.
  EXPECT_EQ(result.requests, 8);
}

TEST(AdapterBytes, StrayBytesBeforeTheAnswerAreSkippedAndWhatIsMissingIsCounted) {
  const RdmUid uid = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};
  uint8_t answer[40] = {0x00, 0xAA, 0x13};  // stray bytes, one of them a false separator
  const int n = 3 + static_cast<int>(EncodeDiscoveryAnswer(uid, 7, answer + 3));
  RdmUid out{};
  EXPECT_EQ(DecodeBranchAnswer(answer, n, out), BranchAnswer::kOneDevice);
  EXPECT_EQ(out, uid);
  // The first 24 bytes lack the last three pair bytes of the separator after the preamble.
  EXPECT_EQ(DecodeBranchAnswer(answer, 24, out), BranchAnswer::kGarbled);
  EXPECT_EQ(MissingAnswerBytes(answer, 24), 3);
  EXPECT_EQ(MissingAnswerBytes(answer, n), 0);
}

TEST(AdapterBytes, MuteAcknowledgementsWithAndWithoutABindingUidAfterTheBreaksNul) {
  const RdmUid uid = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};
  const auto ack = [&uid](uint8_t pdl, uint16_t pid, uint8_t type) {
    const uint8_t data[8] = {0x00, 0x00, 0x4F, 0x4C, 0x12, 0x34, 0x56, 0x79};
    RdmFrameFields fields;
    fields.destination = {0x4F, 0x4C, 0xFF, 0x00, 0x00, 0x00};
    fields.source = uid;
    fields.port_or_response_type = type;
    fields.command_class = DISCOVERY_COMMAND_RESPONSE;
    fields.pid = pid;
    fields.data = data;
    fields.pdl = pdl;
    std::vector<uint8_t> bytes(kRdmFrameBufferSize + 1);
    bytes[0] = 0x00;  // the break, as the adapter reports it
    bytes.resize(1 + BuildRdmFrame(fields, bytes.data() + 1));
    return bytes;
  };
  for (const uint16_t pid : {DISC_MUTE, DISC_UN_MUTE}) {
    for (const uint8_t pdl : {2, 8}) {
      const std::vector<uint8_t> bytes = ack(pdl, pid, RESPONSE_TYPE_ACK);
      const int start = FindFrameStart(bytes.data(), static_cast<int>(bytes.size()));
      ASSERT_EQ(start, 1);
      EXPECT_TRUE(IsDiscoveryAcknowledgement(bytes.data() + 1, static_cast<int>(bytes.size()) - 1,
                                             pid, uid))
          << pid << " " << int{pdl};
      // Cut short of its last byte, it is no acknowledgement.
      EXPECT_FALSE(IsDiscoveryAcknowledgement(bytes.data() + 1, static_cast<int>(bytes.size()) - 2,
                                              pid, uid));
    }
  }
  // Another PDL, another PID, another device, a NACK: refused.
  for (const auto& bytes :
       {ack(4, DISC_MUTE, RESPONSE_TYPE_ACK), ack(0, DISC_MUTE, RESPONSE_TYPE_ACK),
        ack(2, DISC_UN_MUTE, RESPONSE_TYPE_ACK), ack(2, DISC_MUTE, RESPONSE_TYPE_NACK_REASON)}) {
    EXPECT_FALSE(IsDiscoveryAcknowledgement(bytes.data() + 1, static_cast<int>(bytes.size()) - 1,
                                            DISC_MUTE, uid));
  }
  const RdmUid other = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x79};
  const auto two = ack(2, DISC_MUTE, RESPONSE_TYPE_ACK);
  EXPECT_FALSE(IsDiscoveryAcknowledgement(two.data() + 1, static_cast<int>(two.size()) - 1,
                                          DISC_MUTE, other));
  // A start code is sought only a few bytes in.
  std::vector<uint8_t> far(kMaxLeadBeforeFrame, 0x00);
  far.push_back(kRdmStartCode);
  EXPECT_EQ(FindFrameStart(far.data(), static_cast<int>(far.size())), -1);
}

}  // namespace
}  // namespace quillmont
