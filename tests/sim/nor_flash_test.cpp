// SPDX-License-Identifier: Apache-2.0
#include "sim/nor_flash.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quillmont {
namespace {

struct Plan {
  uint32_t code_begin;
  uint32_t code_end;
  std::vector<uint32_t> erase_list;
};

TEST(FlashEraseMap, EveryKindOfPlanErasesItsWholeCodeRangeAndItsLowBlocks) {
  const std::vector<Plan> plans = {
      {0x4000, 0x1FFFF, {0x4000, 0x8000, 0xA000, 0xC000, 0xE000}},
      {0x4000, 0x3FFFF, {0x4000, 0x8000, 0xA000, 0xC000, 0xE000}},
      {0x9000, 0xBFFF, {0x9000, 0xA000}},
      {0x12000, 0x3FFFF, {0x12000}},
      {0xF000, 0x3FFFF, {0xF000}},
      {0x40FF, 0x7FFF, {0x40FF}},
      {0x2000, 0x3FFFF, {0x2000}},  // a low-start image
      {0x4000, 0x5FFF, {0x400, 0x800, 0x4000}},
      {0x3FF00, 0x3FFFF, {0x400, 0x1C00, 0x2C00, 0x3C00, 0x3FF00}},
  };
  for (const Plan& plan : plans) {
    NorFlash flash;
    const std::vector<uint8_t> zeros(kFlashSize, 0x00);
    flash.Load(0, zeros.data(), kFlashSize);
    for (uint32_t address : plan.erase_list) {
      flash.Erase(EraseRangeAt(address));
    }
    for (uint32_t a = plan.code_begin; a <= plan.code_end; ++a) {
      ASSERT_EQ(flash.at(a), 0xFF) << std::hex << plan.code_begin << ": " << a;
    }
    for (uint32_t address : plan.erase_list) {
      if (address < 0x4000) {
        for (uint32_t a = address; a < address + 0x400; ++a) {
          ASSERT_EQ(flash.at(a), 0xFF) << std::hex << a;
        }
      }
    }
  }
}

TEST(FlashEraseMap, LowBlockBelow0x2000ErasesOnlyItsOwnKilobyte) {
  EXPECT_EQ(EraseRangeAt(0x400).begin, 0x400u);
  EXPECT_EQ(EraseRangeAt(0x400).end, 0x800u);
  EXPECT_EQ(EraseRangeAt(0x1FFF).begin, 0x1C00u);
  EXPECT_EQ(EraseRangeAt(0x1FFF).end, 0x2000u);
  EXPECT_EQ(EraseRangeAt(0x9000).begin, 0x8000u);
  EXPECT_EQ(EraseRangeAt(0x12000).begin, 0x10000u);
  EXPECT_EQ(EraseRangeAt(0x12000).end, kFlashSize);
  EXPECT_EQ(EraseRangeAt(kFlashSize).end, 0u);  // nothing
}

TEST(FlashProgram, AndsBytesSkipsFillPatternAndStopsAtTheEnd) {
  NorFlash flash;
  const uint8_t data[4] = {0x0F, 0xFE, 0x3C, 0xFC};  // 0xFE at 0x101 and 0xFC at 0x103 are fill
  flash.Load(0x100, std::vector<uint8_t>{0xF0, 0x00, 0xFF, 0xF0}.data(), 4);
  flash.Program(0x100, data, 4);
  EXPECT_EQ(flash.at(0x100), 0x00);
  EXPECT_EQ(flash.at(0x101), 0x00);
  EXPECT_EQ(flash.at(0x102), 0x3C);
  EXPECT_EQ(flash.at(0x103), 0xF0);
  flash.Program(kFlashSize - 2, data, 4);  // clipped, not wrapped
  EXPECT_EQ(flash.at(kFlashSize - 2), 0x0F);
  EXPECT_EQ(flash.at(0), 0xFF);
}

TEST(FlashHoldsImage, ChecksLoadedChangedBytesOnlyAndNamesTheFirstMismatch) {
  NorFlash flash;
  FirmwareImage image;
  image.bytes[0x4000] = 0x12;
  image.loaded[0x4000] = 1;
  image.loaded[0x4001] = 1;    // loaded with its fill pattern: never programmed, not checked
  image.bytes[0x4002] = 0x34;  // not loaded: not checked
  uint32_t mismatch = 0;
  EXPECT_FALSE(FlashHoldsImage(flash, image, &mismatch));
  EXPECT_EQ(mismatch, 0x4000u);
  flash.Program(0x4000, &image.bytes[0x4000], 2);
  EXPECT_TRUE(FlashHoldsImage(flash, image, &mismatch));
  EXPECT_EQ(flash.at(0x4001), 0xFF);
}

TEST(FlashDump, WritesTheWholeFlashOrSaysWhyNot) {
  NorFlash flash;
  flash.Load(0x3FFFF, std::vector<uint8_t>{0x5A}.data(), 1);
  const std::string path = std::string(QUILLMONT_BINARY_DIR) + "/flash_dump_test.bin";
  ASSERT_TRUE(DumpFlash(flash, path));
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), kFlashSize);
  EXPECT_EQ(static_cast<uint8_t>(bytes.back()), 0x5A);
  EXPECT_EQ(static_cast<uint8_t>(bytes.front()), 0xFF);
  std::remove(path.c_str());
  const Status refused = DumpFlash(flash, "/nonexistent-dir/flash.bin");
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message, "Cannot write the flash dump to /nonexistent-dir/flash.bin");
}

}  // namespace
}  // namespace quillmont
