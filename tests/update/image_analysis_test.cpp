// SPDX-License-Identifier: Apache-2.0
#include "update/image_analysis.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace quillmont {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class ImageAnalysisTest : public ::testing::Test {
 protected:
  // Changes every byte from `first` to `last` inclusive.
  void Change(uint32_t first, uint32_t last) {
    for (uint32_t a = first; a <= last; ++a) {
      image_->bytes[a] = static_cast<uint8_t>(FillPatternAt(a) ^ 0x5A);
    }
  }
  void Put(uint32_t address, std::vector<uint8_t> data) {
    for (size_t i = 0; i < data.size(); ++i) {
      image_->bytes[address + i] = data[i];
    }
  }
  void Analyse() { AnalyseImage(*image_, analysis_, plan_); }
  std::vector<uint32_t> Plan() const {
    return {plan_.erase_list.begin(), plan_.erase_list.begin() + plan_.erase_count};
  }
  std::vector<uint8_t> Bytes(uint32_t address, size_t count) const {
    return {image_->bytes.begin() + address, image_->bytes.begin() + address + count};
  }

  std::unique_ptr<FirmwareImage> image_ = std::make_unique<FirmwareImage>();
  ImageAnalysis analysis_;
  ErasePlan plan_;
};

TEST_F(ImageAnalysisTest, TypicalImageFindsSignatureAndPlansFixedBlocks) {
  Change(0x4000, 0x1FFFF);
  Put(0x4100, {0x47, 0x4B, 0x4A, 0x41});
  Analyse();
  EXPECT_EQ(analysis_.code_begin, 0x4000u);
  EXPECT_EQ(analysis_.code_end, 0x1FFFFu);
  EXPECT_EQ(analysis_.signature, 0x4100u);
  EXPECT_THAT(analysis_.signature_value, ElementsAre(0x47, 0x4B, 0x4A, 0x41));
  EXPECT_THAT(Bytes(0x4100, 4), ElementsAre(0xFF, 0xFE, 0xFD, 0xFC));
  EXPECT_THAT(Plan(), ElementsAre(0x4000, 0x8000, 0xA000, 0xC000, 0xE000));
  EXPECT_EQ(FormatAnalysisLog(analysis_, plan_),
            "code_begin = $4000; code_end = $1FFFF;  signature = $04100\r\n"
            "erase_list = $4000 $8000 $A000 $C000 $E000 ");
}

TEST_F(ImageAnalysisTest, FixedBlocksAreThoseAboveCodeBeginUpToCodeEnd) {
  Change(0x9000, 0xBFFF);
  Analyse();
  EXPECT_THAT(Plan(), ElementsAre(0x9000, 0xA000));
  EXPECT_EQ(analysis_.signature, 0u);

  Change(0x12000, 0x30000);
  Analyse();
  EXPECT_EQ(analysis_.code_begin, 0x9000u);
  EXPECT_EQ(analysis_.code_end, 0x30000u);
  EXPECT_THAT(Plan(), ElementsAre(0x9000, 0xA000, 0xC000, 0xE000));
}

TEST_F(ImageAnalysisTest, CodeAbove64KiBIsOneEraseAddress) {
  Change(0x12000, 0x3FFFF);
  Analyse();
  EXPECT_THAT(Plan(), ElementsAre(0x12000));
  EXPECT_EQ(analysis_.code_end, 0x3FFFFu);
}

TEST_F(ImageAnalysisTest, SignatureIsLookedForOnlyInThePageAfterTheFirstChangedByte) {
  Change(0x40FF, 0x40FF);
  Put(0x4100, {0x47, 0x4B, 0x4A, 0x41});
  Analyse();
  EXPECT_EQ(analysis_.signature, 0x4100u);
  EXPECT_EQ(analysis_.code_begin, 0x40FFu);

  // With the first changed byte at 0x4100 the search looks at 0x4200, and the magic at 0x4100
  // is ordinary code.
  image_->Reset();
  Put(0x4100, {0x47, 0x4B, 0x4A, 0x41});
  Change(0x4104, 0x4400);
  Analyse();
  EXPECT_EQ(analysis_.signature, 0u);
  EXPECT_EQ(analysis_.code_begin, 0x4100u);
  EXPECT_THAT(Bytes(0x4100, 4), ElementsAre(0x47, 0x4B, 0x4A, 0x41));
  EXPECT_THAT(analysis_.signature_value, ElementsAre(0x47, 0x4B, 0x4A, 0x41));  // from before

  Put(0x4200, {0x47, 0x4B, 0x4A, 0x41});
  Analyse();
  EXPECT_EQ(analysis_.signature, 0x4200u);
  EXPECT_THAT(Bytes(0x4200, 4), ElementsAre(0xFF, 0xFE, 0xFD, 0xFC));
}

TEST_F(ImageAnalysisTest, SignatureValueIsKeptWhenNoSignatureIsFound) {
  analysis_.signature_value = {1, 2, 3, 4};
  Change(0x5000, 0x5FFF);
  Analyse();
  EXPECT_EQ(analysis_.signature, 0u);
  EXPECT_THAT(analysis_.signature_value, ElementsAre(1, 2, 3, 4));
}

TEST_F(ImageAnalysisTest, FirstChangedByteInTheLastPageHasNoSignature) {
  Change(0x3FF80, 0x3FFFF);
  Analyse();
  EXPECT_EQ(analysis_.code_begin, 0x3FF80u);
  EXPECT_EQ(analysis_.signature, 0u);
  EXPECT_THAT(Plan(), ElementsAre(0x3FF80));
}

TEST_F(ImageAnalysisTest, LowBlocksComeFirstAndBlockZeroIsNeverListed) {
  Change(0x0100, 0x0100);
  Change(0x0500, 0x0500);
  Change(0x0900, 0x0900);
  Change(0x4000, 0x5FFF);
  Analyse();
  EXPECT_THAT(Plan(), ElementsAre(0x400, 0x800, 0x4000));
  EXPECT_EQ(FormatAnalysisLog(analysis_, plan_),
            "code_begin = $4000; code_end = $5FFF;  signature = $00\r\n"
            "erase_list = $400 $800 $4000 ");
}

TEST_F(ImageAnalysisTest, ChangesBelow4000OnlyListLowBlocks) {
  Change(0x0000, 0x0BFF);
  Change(0x3FFF, 0x3FFF);
  Analyse();
  EXPECT_EQ(analysis_.code_begin, 0u);
  EXPECT_EQ(analysis_.code_end, 0u);
  EXPECT_EQ(analysis_.signature, 0u);
  EXPECT_THAT(Plan(), ElementsAre(0x400, 0x800, 0x3C00));
}

TEST_F(ImageAnalysisTest, LowStartImagePlansOnly2000) {
  Change(0x0400, 0x1FFF);  // loaded below the low start, never erased
  Put(0x2000, {0x02, 0x21, 0x02, 0x23});
  Change(0x2004, 0x5FFF);
  Put(0x4100, {0x47, 0x4B, 0x4A, 0x41});  // no search is made
  Analyse();
  EXPECT_EQ(analysis_.code_begin, 0x2000u);
  EXPECT_EQ(analysis_.code_end, 0x5FFFu);
  EXPECT_EQ(analysis_.signature, 0x2000u);
  EXPECT_THAT(analysis_.signature_value, ElementsAre(0x02, 0x21, 0x02, 0x23));
  EXPECT_THAT(Bytes(0x2000, 4), ElementsAre(0xFF, 0xFE, 0xFD, 0xFC));
  EXPECT_THAT(Bytes(0x4100, 4), ElementsAre(0x47, 0x4B, 0x4A, 0x41));
  EXPECT_THAT(Plan(), ElementsAre(0x2000));
  EXPECT_EQ(FormatAnalysisLog(analysis_, plan_),
            "code_begin = $2000; code_end = $5FFF;  signature = $02000\r\nerase_list = $2000 ");
}

TEST_F(ImageAnalysisTest, SignatureAsLastDataDoesNotRaiseCodeEnd) {
  Change(0x4000, 0x40FF);
  Put(0x4100, {0x47, 0x4B, 0x4A, 0x41});
  Analyse();
  EXPECT_EQ(analysis_.signature, 0x4100u);
  EXPECT_EQ(analysis_.code_end, 0x40FFu);

  image_->Reset();
  Put(0x2000, {0x11, 0x22, 0x02, 0x23});
  Analyse();
  EXPECT_EQ(analysis_.code_begin, 0x2000u);
  EXPECT_EQ(analysis_.code_end, 0u);
}

TEST_F(ImageAnalysisTest, BytesEqualToTheFillPatternAreUnchanged) {
  Put(0x40FF, {0x00});  // the fill pattern at 0x40FF
  image_->loaded[0x40FF] = 1;
  Change(0x4200, 0x4300);
  Put(0x4301, {FillPatternAt(0x4301)});
  Analyse();
  EXPECT_EQ(analysis_.code_begin, 0x4200u);
  EXPECT_EQ(analysis_.code_end, 0x4300u);
}

TEST_F(ImageAnalysisTest, EmptyImageGivesZerosAndClearsAnEarlierPlan) {
  plan_.erase_list.fill(0x1234);
  plan_.erase_count = 20;
  Analyse();
  EXPECT_EQ(analysis_.code_begin, 0u);
  EXPECT_EQ(plan_.erase_count, 0);
  EXPECT_THAT(plan_.erase_list, ::testing::Each(0u));
  EXPECT_EQ(FormatAnalysisLog(analysis_, plan_),
            "code_begin = $0; code_end = $0;  signature = $00\r\nerase_list = ");
}

TEST_F(ImageAnalysisTest, TwentyAddressPlanIsKeptWholeAndDroppedInOrder) {
  for (uint32_t block = 0x400; block < 0x4000; block += 0x400) {
    Change(block + 0x10, block + 0x10);
  }
  Change(0x4000, 0xE000);
  Analyse();
  std::vector<uint32_t> expected;
  for (uint32_t block = 0x400; block < 0x4000; block += 0x400) {
    expected.push_back(block);
  }
  for (uint32_t address : {0x4000u, 0x8000u, 0xA000u, 0xC000u, 0xE000u}) {
    expected.push_back(address);
  }
  ASSERT_EQ(plan_.erase_count, ErasePlan::kCapacity);
  EXPECT_THAT(Plan(), ElementsAreArray(expected));

  for (const uint32_t address : expected) {
    ASSERT_GT(plan_.erase_count, 0);
    EXPECT_EQ(plan_.erase_list[0], address);
    plan_.DropFirst();
  }
  EXPECT_EQ(plan_.erase_count, 0);
  EXPECT_THAT(plan_.erase_list, ::testing::Each(0u));
  plan_.DropFirst();
  EXPECT_EQ(plan_.erase_count, 0);
}

TEST(ErasePlanTest, DropFirstMovesEveryEntryUp) {
  ErasePlan plan;
  plan.erase_list[0] = 0x400;
  plan.erase_list[1] = 0x4000;
  plan.erase_list[2] = 0x8000;
  plan.erase_count = 3;
  plan.DropFirst();
  EXPECT_EQ(plan.erase_count, 2);
  EXPECT_EQ(plan.erase_list[0], 0x4000u);
  EXPECT_EQ(plan.erase_list[1], 0x8000u);
  EXPECT_EQ(plan.erase_list[2], 0u);
}

}  // namespace
}  // namespace quillmont
