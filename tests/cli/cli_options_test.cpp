// The command line read once: what --uid takes.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

namespace quillmont::cli {
namespace {

TEST(ParseUidArgumentTest, TakesSixBytesAndNothingElse) {
  const Result<RdmUid> lower = ParseUidArgument("4f 4c 12 34 56 78");
  ASSERT_TRUE(lower);
  EXPECT_EQ(*lower, (RdmUid{0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78}));
  const Result<RdmUid> packed = ParseUidArgument("4F4C12345679");
  ASSERT_TRUE(packed);
  EXPECT_EQ((*packed)[5], 0x79);
  for (const char* bad : {"", "4F 4C 12 34 56", "4F 4C 12 34 56 78 9A", "4F-4C-12-34-56-78",
                          "0x4F 4C 12 34 56 78", "4F 4C 12 34 56 78 "}) {
    EXPECT_FALSE(ParseUidArgument(bad)) << bad;
  }
}

}  // namespace
}  // namespace quillmont::cli
