// SPDX-License-Identifier: Apache-2.0
// The bootloader's erase and program requests, written and read back byte for byte.
#include "update/bootloader_request.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace quillmont {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

TEST(BootloaderRequest, WritesTheWorkedExamplesAndReadsThemBack) {
  std::array<uint8_t, 16> out{};
  ASSERT_EQ(WriteEraseRequest(0x4000, out), 10u);
  EXPECT_THAT(std::vector<uint8_t>(out.begin(), out.begin() + 10),
              ElementsAre(0x55, 0xA1, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0xA1, 0x95));
  EXPECT_EQ(ReadEraseRequest(std::span(out).first(10)), 0x4000u);
  EXPECT_FALSE(ReadEraseRequest(std::span(out).first(9)));

  const uint8_t signature[4] = {0x47, 0x4B, 0x4A, 0x41};
  ASSERT_EQ(WriteProgramRequest(0x4100, signature, out), 16u);
  EXPECT_THAT(out, ElementsAre(0x55, 0xA4, 0x80, 0x00, 0x41, 0x00, 0x00, 0x04, 0x47, 0x4B, 0x4A,
                               0x41, 0x00, 0x01, 0x35, 0xA7));
  const auto read = ReadProgramRequest(out);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->address, 0x4100u);
  EXPECT_THAT(read->data, ElementsAreArray(signature));

  // Too little room writes nothing.
  EXPECT_EQ(WriteProgramRequest(0x4100, signature, std::span(out).first(15)), 0u);
  EXPECT_EQ(WriteEraseRequest(0x4100, std::span(out).first(9)), 0u);
}

TEST(BootloaderRequest, ReadsOnlyWholeRequestsAndMatchesOnlyTheChunkSent) {
  const uint8_t chunk[4] = {0x01, 0x02, 0x03, 0x04};
  std::array<uint8_t, 16> pd{};
  ASSERT_EQ(WriteProgramRequest(0x4000, chunk, pd), 16u);
  EXPECT_THAT(pd, ElementsAre(0x55, 0xA4, 0x80, 0x00, 0x40, 0x00, 0x00, 0x04, 0x01, 0x02, 0x03,
                              0x04, 0x00, 0x00, 0xAF, 0x19));
  EXPECT_TRUE(ProgramEchoMatches(pd, 0x4000, chunk));
  EXPECT_FALSE(ProgramEchoMatches(pd, 0x4002, chunk));
  EXPECT_FALSE(ProgramEchoMatches(pd, 0x4000, std::span(chunk).first(2)));
  // The header alone, cut before its data, names nothing.
  EXPECT_FALSE(ReadProgramHeader(std::span(pd).first(11)));
  EXPECT_FALSE(ProgramEchoMatches(std::span(pd).first(11), 0x4000, chunk));

  const auto spoiled = [&](size_t at, uint8_t value) {
    auto copy = pd;
    copy[at] = value;
    return copy;
  };
  const uint8_t other[4] = {0x01, 0x02, 0x03, 0x05};
  EXPECT_FALSE(ProgramEchoMatches(pd, 0x4000, other));
  EXPECT_FALSE(ReadProgramRequest(spoiled(15, 0x18)));  // checksum
  EXPECT_FALSE(ReadProgramRequest(spoiled(2, 0x00)));   // address without its flag
  EXPECT_FALSE(ReadProgramRequest(spoiled(1, 0xA1)));   // another command
  EXPECT_FALSE(ReadProgramRequest(std::span(pd).first(15)));
  // The header reader leaves the checksum to whoever needs it.
  EXPECT_TRUE(ReadProgramHeader(spoiled(15, 0x18)));
}

}  // namespace
}  // namespace quillmont
