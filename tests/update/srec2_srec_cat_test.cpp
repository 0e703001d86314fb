// SPDX-License-Identifier: Apache-2.0
// Files written by an independent S-record producer (srec_cat) load byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "srec2_test_files.h"
#include "update/srec2.h"

namespace quillmont {
namespace {

bool HaveSrecCat() {
  return std::system("srec_cat --version >/dev/null 2>&1") == 0;
}

TEST(Srec2SrecCatTest, RandomBinariesAtSeveralOffsetsLoadExactly) {
  if (!HaveSrecCat()) {
    GTEST_SKIP() << "srec_cat (package srecord) is not installed";
  }
  testing::TestFolder folder;
  std::mt19937 random(20240611);
  struct Case {
    uint32_t offset;
    uint32_t size;
  };
  for (const Case c : {Case{0x0, 0x1000}, Case{0x1235, 0x777}, Case{0x4000, 0x3000},
                       Case{0x1FFF0, 0x21}, Case{0x3F000, 0x1000}}) {
    SCOPED_TRACE(c.offset);
    std::vector<char> binary(c.size);
    for (char& byte : binary) {
      byte = static_cast<char>(random() & 0xFF);
    }
    const auto bin = folder.path() / "in.bin";
    const auto srec = folder.path() / "out.srec2";
    std::ofstream(bin, std::ios::binary).write(binary.data(), binary.size());
    const std::string command = "srec_cat '" + bin.string() + "' -binary -offset " +
                                std::to_string(c.offset) + " -o '" + srec.string() +
                                "' -Motorola -address-length=3";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    auto image = std::make_unique<FirmwareImage>();
    const Result<Srec2Stats> loaded = LoadSrec2File(srec.string(), *image);
    ASSERT_TRUE(loaded) << loaded.error().message;
    EXPECT_GT(loaded->records, 0);
    // srec_cat given no start address ends the file with a count record: it is whole.
    EXPECT_EQ(image->file_ending, FileEnding::kComplete);
    EXPECT_EQ(image->loaded_count, static_cast<int32_t>(c.size));
    int32_t mismatches = 0;
    for (uint32_t a = 0; a < kImageSize; ++a) {
      const bool inside = a >= c.offset && a < c.offset + c.size;
      const uint8_t want = inside ? static_cast<uint8_t>(binary[a - c.offset]) : FillPatternAt(a);
      if (image->bytes[a] != want || image->loaded[a] != (inside ? 1 : 0)) {
        ++mismatches;
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
}

}  // namespace
}  // namespace quillmont
