// SPDX-License-Identifier: Apache-2.0
// Reading the decimal numbers the operator types: the DMX address and the baud rate.
#include "app/decimal_text.h"

#include <gtest/gtest.h>

namespace quillmont {
namespace {

TEST(DecimalTextValue, ReadsLikeAtoi) {
  EXPECT_EQ(DecimalTextValue("513"), 513);
  EXPECT_EQ(DecimalTextValue("  -1"), -1);
  EXPECT_EQ(DecimalTextValue("+70000x"), 70000);
  EXPECT_EQ(DecimalTextValue("\t12 34"), 12);
  EXPECT_EQ(DecimalTextValue("abc"), 0);
  EXPECT_EQ(DecimalTextValue(""), 0);
  EXPECT_EQ(DecimalTextValue("- 5"), 0);
}

TEST(DecimalTextValue, KeepsTheLow32BitsOfAHugeNumber) {
  // 2^32 + 0x1234
  EXPECT_EQ(DecimalTextValue("4294971956"), 0x1234);
  // 10^20 - 1 = 0x56BC75E2D630FFFFF: its low 32 bits are 0x630FFFFF.
  EXPECT_EQ(DecimalTextValue("99999999999999999999"), 0x630FFFFF);
}

}  // namespace
}  // namespace quillmont
