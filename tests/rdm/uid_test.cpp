// SPDX-License-Identifier: Apache-2.0
// Reading typed UIDs: the window's reader and the whole-UID parse built on it.
#include "rdm/uid.h"

#include <gtest/gtest.h>

#include <array>

namespace quillmont {
namespace {

using Uid = RdmUid;
constexpr Uid kWanted = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB};

struct Parsed {
  int16_t count;
  Uid bytes;
};

Parsed Parse(const std::string& text) {
  Parsed p{0, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}};
  p.count = ParseHexBytes(text, p.bytes.data(), 6);
  return p;
}

TEST(ParseHexBytes, AcceptsPairsWithOrWithoutBlanks) {
  for (const char* text :
       {"0123456789AB", "01 23 45 67 89 AB", "  0123 4567 89AB", "01 23 45 67 89 ab",
        "01   23 45 67 89 AB", "01 23 45 67 89 AB ", "01 23 45 67 89 AB\r\n", "0123456789ABCD"}) {
    const Parsed p = Parse(text);
    EXPECT_EQ(p.count, 6) << text;
    EXPECT_EQ(p.bytes, kWanted) << text;
  }
}

TEST(ParseHexBytes, ReadsALoneDigitAsAByte) {
  const Parsed p = Parse("1 2 3 4 5 6");
  EXPECT_EQ(p.count, 6);
  EXPECT_EQ(p.bytes, (Uid{1, 2, 3, 4, 5, 6}));
  // The trailing blank completes the sixth byte and then reaches the end of the text.
  EXPECT_EQ(Parse("1 2 3 4 5 6 ").count, -1);
  EXPECT_EQ(Parse("1 2 3 4 5 6 7").count, -1);
  EXPECT_EQ(Parse("12 3").count, 2);
}

TEST(ParseHexBytes, KeepsTheBytesWrittenBeforeItStops) {
  const Parsed five = Parse("01 23 45 67 89");
  EXPECT_EQ(five.count, 5);
  EXPECT_EQ(five.bytes, (Uid{0x01, 0x23, 0x45, 0x67, 0x89, 0xEE}));

  const Parsed hyphen = Parse("01-23-45-67-89-AB");
  EXPECT_EQ(hyphen.count, -1);
  EXPECT_EQ(hyphen.bytes[0], 0x01);
  EXPECT_EQ(hyphen.bytes[1], 0xEE);
}

TEST(ParseHexBytes, RejectsWhatIsNotHexOrBlank) {
  for (const char* text : {"0x0123456789AB", "01 23 45\r\n67 89 AB", "01 23 45 67 89 ",
                           "01 23 45 67 89 AG", " ", "   "}) {
    EXPECT_EQ(Parse(text).count, -1) << text;
  }
  EXPECT_EQ(Parse("").count, 0);
  EXPECT_EQ(Parse("").bytes[0], 0xEE);
}

TEST(ParseHexBytes, NeverWritesBeyondTheMaximumCount) {
  std::array<uint8_t, 4> buffer = {0, 0, 0x77, 0x77};
  EXPECT_EQ(ParseHexBytes("AABBCCDD", buffer.data(), 2), 2);
  EXPECT_EQ(buffer, (std::array<uint8_t, 4>{0xAA, 0xBB, 0x77, 0x77}));
  EXPECT_EQ(ParseHexBytes("A B C", buffer.data(), 2), -1);
  EXPECT_EQ(buffer[2], 0x77);
}

TEST(ToUpperAscii, RaisesOnlyLetters) {
  EXPECT_EQ(ToUpperAscii("0a fz\r\n"), "0A FZ\r\n");
}

TEST(ParseUid, TakesSixBytesAndNothingElse) {
  const Result<RdmUid> lower = ParseUid("4f 4c 12 34 56 78");
  ASSERT_TRUE(lower);
  EXPECT_EQ(*lower, (RdmUid{0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78}));
  const Result<RdmUid> packed = ParseUid("4F4C12345679");
  ASSERT_TRUE(packed);
  EXPECT_EQ((*packed)[5], 0x79);
  for (const char* bad : {"", "4F 4C 12 34 56", "4F 4C 12 34 56 78 9A", "4F-4C-12-34-56-78",
                          "0x4F 4C 12 34 56 78", "4F 4C 12 34 56 78 "}) {
    EXPECT_FALSE(ParseUid(bad)) << bad;
  }
}

TEST(UidNumbers, RoundTripHighByteFirst) {
  EXPECT_EQ(UidToNumber({0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78}), 0x4F4C12345678u);
  EXPECT_EQ(NumberToUid(0xFFFFFFFFFFFE), (RdmUid{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}));
}

}  // namespace
}  // namespace quillmont
