// SPDX-License-Identifier: Apache-2.0
#include "rdm/discovery.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "rdm/hex_bytes.h"
#include "support/scripted_driver.h"

namespace quillmont {
namespace {

using testing::ScriptedDriver;
using Call = ScriptedDriver::Call;

constexpr RdmUid kDeviceUid = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};
constexpr RdmUid kUntouched = {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01};

// The answer of kDeviceUid with seven preamble bytes, as it comes off the line.
const std::vector<uint8_t> kAnswer24 =
    HexBytes("FE FE FE FE FE FE FE AA EF 5F EE 5D BA 57 BE 75 FE 57 FA 7D AF 57 AB FD");

std::vector<uint8_t> Encoded(const RdmUid& uid, int preamble) {
  std::vector<uint8_t> out(32);
  out.resize(EncodeDiscoveryAnswer(uid, preamble, out.data()));
  return out;
}

// An answer with a longer preamble than a device may send, as noise in front of it would make.
std::vector<uint8_t> WithLongPreamble(const RdmUid& uid, size_t preamble) {
  std::vector<uint8_t> out(preamble, kDiscoveryPreamble);
  const std::vector<uint8_t> rest = Encoded(uid, 0);
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

// --- The encoded answer ---

TEST(DiscoveryAnswer, EncodesAsDevicesSendIt) {
  EXPECT_EQ(Encoded(kDeviceUid, 7), kAnswer24);
  EXPECT_EQ(Encoded(kDeviceUid, 3), std::vector<uint8_t>(kAnswer24.begin() + 4, kAnswer24.end()));
  uint16_t sum = 0;
  for (size_t i = 8; i < 20; ++i) {
    sum = static_cast<uint16_t>(sum + kAnswer24[i]);
  }
  EXPECT_EQ(sum, 0x07A9);
  // A device sends at most seven preamble bytes.
  EXPECT_EQ(Encoded(kDeviceUid, 9), kAnswer24);
  EXPECT_EQ(Encoded(kDeviceUid, -1).size(), 17u);
}

TEST(DiscoveryAnswer, DecodesSevenAndThreePreambleBytes) {
  RdmUid target = kUntouched;
  EXPECT_EQ(DecodeDiscoveryAnswer(kAnswer24.data(), 24, target), 0);
  EXPECT_EQ(target, kDeviceUid);

  const std::vector<uint8_t> answer20(kAnswer24.begin() + 4, kAnswer24.end());
  target = kUntouched;
  EXPECT_EQ(DecodeDiscoveryAnswer(answer20.data(), 20, target), 0);
  EXPECT_EQ(target, kDeviceUid);

  // The preamble is not examined.
  std::vector<uint8_t> odd_preamble = kAnswer24;
  std::fill(odd_preamble.begin(), odd_preamble.begin() + 7, 0x00);
  target = kUntouched;
  EXPECT_EQ(DecodeDiscoveryAnswer(odd_preamble.data(), 24, target), 0);
  EXPECT_EQ(target, kDeviceUid);
}

TEST(DiscoveryAnswer, SeparatorIsOnlySoughtAtIndexesThreeToTen) {
  for (int preamble : {0, 1, 2}) {
    std::vector<uint8_t> bytes = Encoded(kDeviceUid, preamble);
    bytes.resize(24, 0x00);
    RdmUid target = kUntouched;
    EXPECT_EQ(DecodeDiscoveryAnswer(bytes.data(), 24, target), -1) << "preamble " << preamble;
    EXPECT_EQ(target, kUntouched);
  }
  const std::vector<uint8_t> late = WithLongPreamble(kDeviceUid, 11);  // separator at index 11
  RdmUid target = kUntouched;
  EXPECT_EQ(DecodeDiscoveryAnswer(late.data(), static_cast<int>(late.size()), target), -1);
  EXPECT_EQ(target, kUntouched);
}

TEST(DiscoveryAnswer, ShortAnswersAreInvalid) {
  RdmUid target = kUntouched;
  const std::vector<uint8_t> answer19 = Encoded(kDeviceUid, 2);
  ASSERT_EQ(answer19.size(), 19u);
  EXPECT_EQ(DecodeDiscoveryAnswer(answer19.data(), 19, target), -1);
  EXPECT_EQ(DecodeDiscoveryAnswer(kAnswer24.data(), 0, target), -1);
  EXPECT_EQ(DecodeDiscoveryAnswer(kAnswer24.data(), -1, target), -1);
  // Twenty-three of the seven-preamble answer: the last pair byte is missing.
  EXPECT_EQ(DecodeDiscoveryAnswer(kAnswer24.data(), 23, target), -1);
  EXPECT_EQ(target, kUntouched);
}

TEST(DiscoveryAnswer, LateSeparatorNeedsAllSixteenPairBytes) {
  const std::vector<uint8_t> answer25 = WithLongPreamble(kDeviceUid, 8);
  ASSERT_EQ(answer25.size(), 25u);
  RdmUid target = kUntouched;
  EXPECT_EQ(DecodeDiscoveryAnswer(answer25.data(), 24, target), -1);
  EXPECT_EQ(target, kUntouched);
  EXPECT_EQ(DecodeDiscoveryAnswer(answer25.data(), 25, target), 0);
  EXPECT_EQ(target, kDeviceUid);
}

TEST(DiscoveryAnswer, CorruptionAndCollisionFailTheChecksum) {
  std::vector<uint8_t> corrupt = kAnswer24;
  corrupt[12] ^= 0x01;  // a UID pair byte with one bit wrong
  RdmUid target = kUntouched;
  EXPECT_EQ(DecodeDiscoveryAnswer(corrupt.data(), 24, target), -1);

  corrupt = kAnswer24;
  corrupt[23] ^= 0x02;  // a checksum pair byte
  EXPECT_EQ(DecodeDiscoveryAnswer(corrupt.data(), 24, target), -1);

  // Two devices answering at once: the line carries the OR of both answers.
  for (const RdmUid& other :
       {RdmUid{0x4F, 0x4C, 0x12, 0x34, 0x56, 0x79}, RdmUid{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}}) {
    const std::vector<uint8_t> second = Encoded(other, 7);
    std::vector<uint8_t> collided(24);
    for (size_t i = 0; i < 24; ++i) {
      collided[i] = kAnswer24[i] | second[i];
    }
    EXPECT_EQ(DecodeDiscoveryAnswer(collided.data(), 24, target), -1);
  }
}

// --- On the line ---

const std::vector<uint8_t> kRequest(kDiscUniqueBranchFrame.begin(), kDiscUniqueBranchFrame.end());

class DiscoveryOnLineTest : public ::testing::Test {
 protected:
  VirtualClock clock;
  ScriptedDriver driver{clock};
  std::ostringstream diag;
  LineIo io{driver, clock, diag};
  LinkHandle link = driver.handle();
  RdmUid target = kUntouched;

  // The device answers the discovery request `delay_micros` after it was written; an adapter
  // that hears itself hands back `echo` at once.
  void AnswerDiscoveryWith(std::vector<uint8_t> answer, uint64_t delay_micros = 2'000,
                           std::vector<uint8_t> echo = {}) {
    driver.on_write = [this, answer, delay_micros, echo](const std::vector<uint8_t>& frame) {
      if (frame == kRequest) {
        driver.Deliver(echo);
        driver.DeliverAfter(delay_micros, answer);
      }
    };
  }
  // A byte in the middle of each of the first `reads` drain reads (a millisecond each).
  void NoiseForDrainReads(int reads) {
    for (int k = 1; k <= reads; ++k) {
      driver.DeliverAt(static_cast<uint64_t>(k) * 1'000 - 500, {0x55});
    }
  }
  // The time the request went out: after the drain's quiet read, the break and the mark.
  static constexpr uint64_t kWrittenAt = 1'000 + 216;
};

TEST_F(DiscoveryOnLineTest, OneDeviceIsFoundAsSoonAsItsAnswerIsIn) {
  AnswerDiscoveryWith(kAnswer24);
  EXPECT_EQ(DiscoverSingleDevice(io, link, target), 0);
  EXPECT_EQ(target, kDeviceUid);
  ASSERT_EQ(driver.Writes(), std::vector<std::vector<uint8_t>>{kRequest});
  EXPECT_EQ(driver.Count(Call::BreakOn), 1u);
  EXPECT_EQ(clock.NowMicros(), kWrittenAt + 2'000);

  // The shortest answer (three preamble bytes) is taken as soon, not after the whole window.
  VirtualClock clock2;
  ScriptedDriver driver2{clock2};
  LineIo io2{driver2, clock2, diag};
  LinkHandle link2 = driver2.handle();
  driver2.on_write = [&driver2](const std::vector<uint8_t>&) {
    driver2.DeliverAfter(2'000, std::vector<uint8_t>(kAnswer24.begin() + 4, kAnswer24.end()));
  };
  target = kUntouched;
  EXPECT_EQ(DiscoverSingleDevice(io2, link2, target), 0);
  EXPECT_EQ(target, kDeviceUid);
  EXPECT_EQ(clock2.NowMicros(), kWrittenAt + 2'000);
}

TEST_F(DiscoveryOnLineTest, AnAdapterThatHearsItselfHasItsRequestReadPast) {
  // The break's NUL and the request come back first; then the answer, or stray bytes of the
  // line turning round and a late separator whose last pairs need a read of their own.
  std::vector<uint8_t> echo = {0x00};
  echo.insert(echo.end(), kRequest.begin(), kRequest.end());
  std::vector<uint8_t> stray_then_answer = {0x3C, 0x00};
  stray_then_answer.insert(stray_then_answer.end(), kAnswer24.begin(), kAnswer24.end());
  for (const auto& [answer, heard] : {std::pair{kAnswer24, echo}, std::pair{kAnswer24, kRequest},
                                      std::pair{stray_then_answer, echo}}) {
    driver.events.clear();
    AnswerDiscoveryWith(answer, 2'000, heard);
    target = kUntouched;
    EXPECT_EQ(DiscoverSingleDevice(io, link, target), 0);
    EXPECT_EQ(target, kDeviceUid);
    EXPECT_EQ(driver.Pending(), 0u);
  }
  // An echo and then silence is no answer.
  AnswerDiscoveryWith({}, 2'000, echo);
  target = kUntouched;
  EXPECT_EQ(DiscoverSingleDevice(io, link, target), -1);
  EXPECT_EQ(target, kUntouched);
}

TEST_F(DiscoveryOnLineTest, SilenceGivesMinusOneAfterTheAnswerWindow) {
  EXPECT_EQ(DiscoverSingleDevice(io, link, target), -1);
  EXPECT_EQ(target, kUntouched);
  EXPECT_EQ(clock.NowMicros(), kWrittenAt + 200'000);
}

TEST_F(DiscoveryOnLineTest, CollisionAndReadFailureGiveMinusOne) {
  const std::vector<uint8_t> second = Encoded({0x4F, 0x4C, 0x00, 0x00, 0x00, 0x01}, 7);
  std::vector<uint8_t> collided(24);
  for (size_t i = 0; i < 24; ++i) {
    collided[i] = kAnswer24[i] | second[i];
  }
  AnswerDiscoveryWith(collided);
  EXPECT_EQ(DiscoverSingleDevice(io, link, target), -1);

  AnswerDiscoveryWith(kAnswer24);
  driver.on_write = [this, inner = driver.on_write](const std::vector<uint8_t>& frame) {
    inner(frame);
    driver.read_status = FT_IO_ERROR;
  };
  target = kUntouched;
  EXPECT_EQ(DiscoverSingleDevice(io, link, target), -1);
  EXPECT_EQ(target, kUntouched);
}

TEST_F(DiscoveryOnLineTest, DrainEmptiesTheLineBeforeTheRequest) {
  driver.Deliver(std::vector<uint8_t>(50, 0xAA));  // leftovers: 30, then 20, then quiet
  AnswerDiscoveryWith(kAnswer24);
  EXPECT_EQ(DiscoverSingleDevice(io, link, target), 0);
  EXPECT_EQ(target, kDeviceUid);
  // The request went out only after a read of a millisecond found the line quiet.
  const auto& write = *std::find_if(driver.events.begin(), driver.events.end(),
                                    [](const auto& e) { return e.call == Call::Write; });
  EXPECT_EQ(write.at_micros, 2'000u + 216u);
}

TEST_F(DiscoveryOnLineTest, DrainLeftoversAreNeverDecoded) {
  // A late separator (index 8) leaves the last pair byte beyond the bytes read. The drain read
  // 30 bytes into the same scratch buffer before, with exactly that byte at index 24.
  const std::vector<uint8_t> answer25 = WithLongPreamble(kDeviceUid, 8);
  std::vector<uint8_t> leftovers = answer25;
  leftovers.resize(30, 0x00);
  driver.Deliver(leftovers);
  std::vector<uint8_t> answer24(answer25.begin(), answer25.end() - 1);
  AnswerDiscoveryWith(answer24);
  EXPECT_EQ(DiscoverSingleDevice(io, link, target), -1);
  EXPECT_EQ(target, kUntouched);
}

TEST_F(DiscoveryOnLineTest, LineThatNeverFallsQuietGivesMinusTwo) {
  NoiseForDrainReads(199);
  AnswerDiscoveryWith(kAnswer24);
  EXPECT_EQ(DiscoverSingleDevice(io, link, target), -2);
  EXPECT_EQ(target, kUntouched);
  EXPECT_EQ(driver.Count(Call::BreakOn), 0u);
  EXPECT_TRUE(driver.Writes().empty());
  EXPECT_EQ(clock.NowMicros(), 200'000u);  // 200 reads of a millisecond
}

TEST_F(DiscoveryOnLineTest, QuietOnTheLastPossibleDrainReadStillDiscovers) {
  NoiseForDrainReads(198);  // the 199th read finds the line quiet
  AnswerDiscoveryWith(kAnswer24);
  EXPECT_EQ(DiscoverSingleDevice(io, link, target), 0);
  EXPECT_EQ(target, kDeviceUid);
  EXPECT_EQ(driver.Writes().size(), 1u);
}

TEST_F(DiscoveryOnLineTest, WithoutALinkNothingWaitsOrReachesTheDriver) {
  link = nullptr;
  EXPECT_EQ(DiscoverSingleDevice(io, link, target), -1);
  EXPECT_EQ(SendUnMuteAll(io, link), FT_INVALID_HANDLE);
  EXPECT_EQ(target, kUntouched);
  EXPECT_TRUE(driver.events.empty());
  EXPECT_EQ(clock.sleep_calls(), 0u);
  EXPECT_EQ(diag.str(), "");
}

TEST_F(DiscoveryOnLineTest, UnMuteAllIsABreakThenTheCannedFrame) {
  EXPECT_EQ(SendUnMuteAll(io, link), FT_OK);
  ASSERT_EQ(driver.events.size(), 3u);
  EXPECT_EQ(driver.events[0].call, Call::BreakOn);
  EXPECT_EQ(driver.events[1].call, Call::BreakOff);
  EXPECT_EQ(driver.events[2].bytes, HexBytes("CC 01 18 FF FF FF FF FF FF 4F 4C FF 00 00 00 00 00 "
                                             "00 00 00 10 00 03 00 08 8C"));
  EXPECT_EQ(driver.Count(Call::GetStatus), 0u);  // no answer is awaited

  driver.write_status = FT_IO_ERROR;
  EXPECT_NE(SendUnMuteAll(io, link), FT_OK);
}

}  // namespace
}  // namespace quillmont
