// SPDX-License-Identifier: Apache-2.0
#include "rdm/message.h"

#include <gtest/gtest.h>

#include <vector>

#include "rdm/discovery.h"
#include "rdm/hex_bytes.h"

namespace quillmont {
namespace {

TEST(RdmChecksum, SumsUnsignedBytesModulo65536) {
  const std::vector<uint8_t> bytes(300, 0xFF);  // 76500
  EXPECT_EQ(RdmChecksum(bytes.data(), bytes.size()), 76500 % 65536);
  EXPECT_EQ(RdmChecksum(bytes.data(), 0), 0);
}

TEST(ReceiveRules, FrameSizeAndUsableMessageLengths) {
  EXPECT_EQ(FrameSizeFromMessageLength(0x18), 26);
  EXPECT_EQ(FrameSizeFromMessageLength(254), 256);
  EXPECT_EQ(FrameSizeFromMessageLength(255), 257);
  EXPECT_FALSE(IsUsableMessageLength(0));
  EXPECT_FALSE(IsUsableMessageLength(1));
  EXPECT_FALSE(IsUsableMessageLength(23));
  EXPECT_TRUE(IsUsableMessageLength(24));
  EXPECT_TRUE(IsUsableMessageLength(254));
  EXPECT_FALSE(IsUsableMessageLength(255));
}

TEST(ReceiveRules, ChecksumCoversEverythingBeforeTheLastTwoBytes) {
  // A GET_COMMAND_RESPONSE of message length 0x18: complete at 26 bytes, checksum over 0..23.
  std::vector<uint8_t> frame =
      HexBytes("CC 01 18 4F 4C FE 01 00 00 4F 4C 00 00 00 00 00 00 00 00 00 21 00 80 00 00 00");
  const uint16_t sum = RdmChecksum(frame.data(), 24);
  frame[24] = static_cast<uint8_t>(sum >> 8);
  frame[25] = static_cast<uint8_t>(sum);
  EXPECT_EQ(FrameSizeFromMessageLength(frame[2]), 26);
  EXPECT_TRUE(IsFrameChecksumGood(frame.data(), frame.size()));

  // One bit wrong anywhere, in the body or in either checksum byte, fails the frame.
  for (size_t i : {size_t{0}, size_t{16}, size_t{23}, size_t{24}, size_t{25}}) {
    std::vector<uint8_t> bad = frame;
    bad[i] ^= 0x01;
    EXPECT_FALSE(IsFrameChecksumGood(bad.data(), bad.size())) << "byte " << i;
  }
  // Swapped checksum bytes (low byte first) fail too.
  std::vector<uint8_t> swapped = frame;
  std::swap(swapped[24], swapped[25]);
  EXPECT_FALSE(IsFrameChecksumGood(swapped.data(), swapped.size()));
  // Three bytes or fewer are never a verified frame, even when they would add up.
  const uint8_t tiny[] = {0x00, 0x00, 0x00};
  EXPECT_FALSE(IsFrameChecksumGood(tiny, 3));
}

TEST(CannedFrames, CarryTheirOwnChecksums) {
  EXPECT_TRUE(IsFrameChecksumGood(kUnMuteAllFrame.data(), kUnMuteAllFrame.size()));
  EXPECT_TRUE(IsFrameChecksumGood(kDiscUniqueBranchFrame.data(), kDiscUniqueBranchFrame.size()));
  EXPECT_EQ(RdmChecksum(kUnMuteAllFrame.data(), 24), 0x088C);
  EXPECT_EQ(RdmChecksum(kDiscUniqueBranchFrame.data(), 36), 0x0E9C);
}

TEST(CannedFrames, MatchTheLayoutOfBuiltFrames) {
  // Built from fields with the canned frames' own source UID, they come out byte for byte.
  const RdmUid canned_source = {0x4F, 0x4C, 0xFF, 0x00, 0x00, 0x00};
  uint8_t out[kRdmFrameBufferSize] = {};

  RdmFrameFields un_mute;
  un_mute.destination = kBroadcastUid;
  un_mute.source = canned_source;
  un_mute.command_class = DISCOVERY_COMMAND;
  un_mute.pid = DISC_UN_MUTE;
  ASSERT_EQ(BuildRdmFrame(un_mute, out), kUnMuteAllFrame.size());
  EXPECT_EQ(std::vector<uint8_t>(out, out + 26),
            std::vector<uint8_t>(kUnMuteAllFrame.begin(), kUnMuteAllFrame.end()));

  const uint8_t range[12] = {0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  RdmFrameFields branch = un_mute;
  branch.pid = DISC_UNIQUE_BRANCH;
  branch.data = range;
  branch.pdl = 12;
  ASSERT_EQ(BuildRdmFrame(branch, out), kDiscUniqueBranchFrame.size());
  EXPECT_EQ(std::vector<uint8_t>(out, out + 38),
            std::vector<uint8_t>(kDiscUniqueBranchFrame.begin(), kDiscUniqueBranchFrame.end()));
}

TEST(BuildRdmFrame, RefusalWritesNothing) {
  uint8_t out[kRdmFrameBufferSize];
  std::fill(std::begin(out), std::end(out), 0x77);
  RdmFrameFields fields;
  fields.pdl = 231;
  fields.data = out;
  EXPECT_EQ(BuildRdmFrame(fields, out), 0u);
  fields.pdl = 1;
  fields.data = nullptr;
  EXPECT_EQ(BuildRdmFrame(fields, out), 0u);
  EXPECT_EQ(out[0], 0x77);
}

TEST(FormatUid, ShowsSixUpperCaseHexPairs) {
  EXPECT_EQ(FormatUid({0x4F, 0x4C, 0x12, 0x34, 0xAB, 0x0F}), "4F 4C 12 34 AB 0F");
}

}  // namespace
}  // namespace quillmont
