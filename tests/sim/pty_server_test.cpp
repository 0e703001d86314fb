// SPDX-License-Identifier: Apache-2.0
// The fixture server over a real pseudo-terminal, in-process: requests written to the slave
// side, replies read back from it, every byte's time counted on a virtual clock.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <string>
#include <vector>

#include "pty_bench.h"
#include "rdm/discovery.h"

namespace quillmont::testing {
namespace {

// A byte takes 44 us at 250000 baud. The host's request goes out on the line from the moment it
// is written (26 bytes for a GET without data); an RDM response starts 200 us (turnaround) plus
// 188 us (break and mark, not carried as bytes) after its last byte; a discovery answer 200 us.
constexpr uint64_t kByte = 44;
constexpr uint64_t kGetOnLine = 26 * kByte;
constexpr uint64_t kResponseStart = kGetOnLine + 200 + 188;
constexpr uint64_t kAnswerStart = 200;

std::vector<uint8_t> DmxAddressReply(uint8_t transaction) {
  const uint8_t data[2] = {0x00, 0x01};
  RdmFrameFields fields;
  fields.destination = kControllerUid;
  fields.source = kPtyFixtureUid;
  fields.transaction = transaction;
  fields.port_or_response_type = RESPONSE_TYPE_ACK;
  fields.command_class = GET_COMMAND_RESPONSE;
  fields.pid = DMX_START_ADDRESS;
  fields.data = data;
  fields.pdl = 2;
  std::vector<uint8_t> frame(kRdmFrameBufferSize);
  frame.resize(BuildRdmFrame(fields, frame.data()));
  return frame;
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(PtyServer, ReplyBytesReachTheHostOneByOneAfterTurnaroundAndBreak) {
  PtyBench bench;
  bench.host->Send(RequestFrame(GET_COMMAND, DMX_START_ADDRESS));
  ASSERT_TRUE(bench.TakeRequests(1));
  const std::vector<uint8_t> expected = DmxAddressReply(1);
  ASSERT_EQ(expected.size(), 28u);

  bench.RunTo(kResponseStart + kByte - 1);
  EXPECT_TRUE(bench.host->Receive(1, 30).empty()) << "a byte before its time";

  bench.RunTo(kResponseStart + 3 * kByte);
  const std::vector<uint8_t> head = bench.host->Receive(28, 50);
  EXPECT_EQ(head, std::vector<uint8_t>(expected.begin(), expected.begin() + 3));

  bench.RunTo(kResponseStart + 28 * kByte);
  EXPECT_EQ(Concat(head, bench.host->Receive(25)), expected);
  EXPECT_TRUE(bench.server->schedule().empty());
}

TEST(PtyServer, ARealAdapterHandsTheBreaksNulAndTheReplyOverWhenItsLatencyTimerRunsOut) {
  PtyBench bench({FixtureConfig{}}, {}, true);
  bench.host->Send(RequestFrame(GET_COMMAND, DMX_START_ADDRESS));
  ASSERT_TRUE(bench.TakeRequests(1));
  const std::vector<uint8_t> expected = DmxAddressReply(1);
  // The break is a NUL 244 us after the request; the 1 ms timer it starts sends it with 19
  // reply bytes.
  bench.RunTo(kGetOnLine + 200 + kByte + 1000 - 1);
  EXPECT_TRUE(bench.host->Receive(1, 30).empty());
  bench.RunTo(kGetOnLine + 200 + kByte + 1000);
  EXPECT_EQ(bench.host->Receive(20),
            Concat({0x00}, std::vector<uint8_t>(expected.begin(), expected.begin() + 19)));
  // The next packet's timer starts with its first byte, at 1268 us.
  bench.RunTo(kResponseStart + 20 * kByte + 1000 - 1);
  EXPECT_TRUE(bench.host->Receive(1, 30).empty());
  bench.RunTo(kResponseStart + 20 * kByte + 1000);
  EXPECT_EQ(bench.host->Receive(9), std::vector<uint8_t>(expected.begin() + 19, expected.end()));
}

TEST(PtyServer, FrameSplitAcrossWritesIsTakenOnceWhole) {
  PtyBench bench;
  const std::vector<uint8_t> frame = RequestFrame(GET_COMMAND, DMX_START_ADDRESS);
  bench.host->Send(std::vector<uint8_t>(frame.begin(), frame.begin() + 10));
  for (int i = 0; i < 5; ++i) {
    bench.server->Pump(10);
  }
  EXPECT_EQ(bench.server->requests(), 0u);
  bench.host->Send(std::vector<uint8_t>(frame.begin() + 10, frame.end()));
  ASSERT_TRUE(bench.TakeRequests(1));
  bench.RunTo(10000);
  EXPECT_EQ(bench.host->Receive(28), DmxAddressReply(1));
  EXPECT_EQ(bench.server->requests(), 1u);
  EXPECT_EQ(bench.server->garbage(), 0u);
}

TEST(PtyServer, GarbageAndAFalseStartBeforeTheFrameAreSkipped) {
  PtyBench bench;
  // A lone byte, a start code with an impossible length, stray bytes, and a start code whose
  // plausible length (0x30) reaches past the good frame behind it.
  const std::vector<uint8_t> junk = {0x00, 0xCC, 0x01, 0xFF, 0x55, 0xCC, 0x01, 0x30};
  bench.host->Send(
      Concat(junk, RequestFrame(GET_COMMAND, DMX_START_ADDRESS, {}, kPtyFixtureUid, 7)));
  ASSERT_TRUE(bench.TakeRequests(1));
  bench.RunTo(10000);
  EXPECT_EQ(bench.host->Receive(28), DmxAddressReply(7));
  EXPECT_EQ(bench.server->garbage(), junk.size());
}

TEST(PtyServer, DiscoveryAnswerHasItsPreambleAndNoBreakTime) {
  PtyBench bench;
  bench.host->Send(
      std::vector<uint8_t>(kDiscUniqueBranchFrame.begin(), kDiscUniqueBranchFrame.end()));
  ASSERT_TRUE(bench.TakeRequests(1));
  const std::vector<uint8_t> expected = {0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xAA,
                                         0xEF, 0x5F, 0xEE, 0x5D, 0xBA, 0x57, 0xBE, 0x75,
                                         0xFE, 0x57, 0xFA, 0x7D, 0xAF, 0x57, 0xAB, 0xFD};
  const uint64_t answer_start = kDiscUniqueBranchFrame.size() * kByte + kAnswerStart;
  bench.RunTo(answer_start + kByte - 1);
  EXPECT_TRUE(bench.host->Receive(1, 30).empty());
  bench.RunTo(answer_start + 24 * kByte);
  const std::vector<uint8_t> answer = bench.host->Receive(24);
  EXPECT_EQ(answer, expected);
  RdmUid uid{};
  EXPECT_EQ(DecodeDiscoveryAnswer(answer.data(), static_cast<int>(answer.size()), uid), 0);
  EXPECT_EQ(uid, kPtyFixtureUid);
}

TEST(PtyServer, TwoFixturesAnsweringDiscoveryCollideIntoTheAndOfTheirBytes) {
  FixtureConfig second;
  second.uid = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x79};
  PtyBench bench({FixtureConfig{}, second});
  bench.host->Send(
      std::vector<uint8_t>(kDiscUniqueBranchFrame.begin(), kDiscUniqueBranchFrame.end()));
  ASSERT_TRUE(bench.TakeRequests(1));
  bench.RunTo(10000);
  const std::vector<uint8_t> answer = bench.host->Receive(48, 100);

  uint8_t first_bytes[32] = {};
  uint8_t second_bytes[32] = {};
  const size_t size = EncodeDiscoveryAnswer(kPtyFixtureUid, 7, first_bytes);
  EncodeDiscoveryAnswer(second.uid, 7, second_bytes);
  std::vector<uint8_t> collided(size);
  for (size_t i = 0; i < size; ++i) {
    collided[i] = first_bytes[i] & second_bytes[i];
  }
  EXPECT_EQ(answer, collided) << "one answer's worth of bytes, each the AND of both";
  EXPECT_EQ(bench.server->replies(), 2u);
  RdmUid uid{};
  EXPECT_EQ(DecodeDiscoveryAnswer(answer.data(), static_cast<int>(answer.size()), uid), -1);
}

TEST(PtyServer, RequestsNotForTheFixtureGetNothing) {
  PtyBench bench;
  const RdmUid other = {0x4F, 0x4C, 0x00, 0x00, 0x00, 0x01};
  bench.host->Send(RequestFrame(GET_COMMAND, DMX_START_ADDRESS, {}, other));
  std::vector<uint8_t> bad = RequestFrame(GET_COMMAND, DMX_START_ADDRESS);
  bad.back() ^= 0x01;  // checksum off by one
  bench.host->Send(bad);
  for (int i = 0; i < 5; ++i) {
    bench.server->Pump(10);
  }
  bench.RunTo(10000);
  EXPECT_TRUE(bench.host->Receive(1, 30).empty());
  EXPECT_EQ(bench.server->requests(), 1u) << "the one with the bad checksum is no request";
  EXPECT_EQ(bench.server->replies(), 0u);
}

TEST(PtyServer, ListedFaultsLoseAndCorruptRepliesByNumber) {
  const Result<FaultPlan> faults = ParseFaultList("drop=1,corrupt=2");
  ASSERT_TRUE(faults);
  PtyBench bench({FixtureConfig{}}, *faults);
  for (uint8_t transaction = 1; transaction <= 3; ++transaction) {
    bench.host->Send(RequestFrame(GET_COMMAND, DMX_START_ADDRESS, {}, kPtyFixtureUid, transaction));
    ASSERT_TRUE(bench.TakeRequests(transaction));
    bench.RunTo(transaction * 10000);
    const std::vector<uint8_t> got = bench.host->Receive(28, transaction == 1 ? 30 : 500);
    const std::vector<uint8_t> expected = DmxAddressReply(transaction);
    if (transaction == 1) {
      EXPECT_TRUE(got.empty()) << "the first reply is lost";
    } else if (transaction == 2) {
      ASSERT_EQ(got.size(), expected.size());
      int differing = 0;
      for (size_t i = 0; i < got.size(); ++i) {
        differing += got[i] != expected[i] ? 1 : 0;
      }
      EXPECT_EQ(differing, 1) << "the second reply has one byte flipped";
    } else {
      EXPECT_EQ(got, expected);
    }
  }
  EXPECT_EQ(bench.server->replies(), 3u);
}

TEST(PtyServer, NoiseArrivesAtItsTimeAndSlowStretchesTheTurnaround) {
  const Result<FaultPlan> faults = ParseFaultList("noise@5ms:6,slow=3");
  ASSERT_TRUE(faults);
  PtyBench bench({FixtureConfig{}}, *faults);
  bench.RunTo(5000 + 6 * kByte - 1);
  EXPECT_EQ(bench.host->Receive(6, 50).size(), 5u);
  bench.RunTo(5000 + 6 * kByte);
  EXPECT_EQ(bench.host->Receive(1).size(), 1u);

  bench.host->Send(RequestFrame(GET_COMMAND, DMX_START_ADDRESS));
  ASSERT_TRUE(bench.TakeRequests(1));
  // Written at 5264 us; on the line until 6408 us; three times the turnaround, then the break.
  const uint64_t first_byte = 5000 + 6 * kByte + kGetOnLine + 3 * 200 + 188 + kByte;
  bench.RunTo(first_byte - 1);
  EXPECT_TRUE(bench.host->Receive(1, 30).empty());
  bench.RunTo(first_byte + 27 * kByte);
  EXPECT_EQ(bench.host->Receive(28), DmxAddressReply(1));
}

TEST(PtyServer, HostThatLetsGoLeavesTheLineOpenToTheNextAndLosesWhatWasOnItsWay) {
  PtyBench bench;
  std::vector<std::string> events;
  bench.server->set_event_sink([&events](const std::string& line) { events.push_back(line); });
  bench.server->Pump(20);
  ASSERT_EQ(bench.pty->hosts(), 1);

  // The serial backend opens its port for itself alone; on a pseudo-terminal that mark would
  // outlive the host.
  ASSERT_EQ(ioctl(bench.host->fd(), TIOCEXCL), 0);
  bench.host->Send(RequestFrame(GET_COMMAND, DMX_START_ADDRESS));
  ASSERT_TRUE(bench.TakeRequests(1));
  bench.host->Close();
  for (int i = 0; i < 20 && bench.pty->hosts() > 0; ++i) {
    bench.server->Pump(10);
  }
  EXPECT_EQ(bench.pty->hosts(), 0);
  bench.RunTo(10000);  // the reply falls due with nobody there

  PtyHost next(bench.pty->path());
  int exclusive = -1;
  ASSERT_EQ(ioctl(next.fd(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  bench.server->Pump(20);
  EXPECT_TRUE(next.Receive(1, 30).empty());
  EXPECT_EQ(bench.pty->host_sessions(), 2u);
  EXPECT_EQ(events,
            (std::vector<std::string>{"a host opened the line", "the host let go of the line",
                                      "a host opened the line"}));
}

}  // namespace
}  // namespace quillmont::testing
