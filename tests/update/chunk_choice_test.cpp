// SPDX-License-Identifier: Apache-2.0
#include "update/chunk_choice.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "update/word_sum_checksum.h"

namespace quillmont {
namespace {

// Marks [from, to] loaded with bytes that differ from the fill pattern.
void Load(FirmwareImage& image, uint32_t from, uint32_t to) {
  for (uint32_t a = from; a <= to; ++a) {
    image.bytes[a] = static_cast<uint8_t>(FillPatternAt(a) ^ 0x5A);
    image.loaded[a] = 1;
    ++image.loaded_count;
  }
}

TEST(WordSumChecksum, MatchesTheEraseAndProgramExamples) {
  uint8_t erase[10] = {0x55, 0xA1, 0x00, 0x00, 0x40, 0x00};
  WordSumChecksum(erase, 3);
  EXPECT_EQ(std::vector<uint8_t>(erase + 6, erase + 10),
            (std::vector<uint8_t>{0x00, 0x00, 0xA1, 0x95}));

  uint8_t chunk[16] = {0x55, 0xA4, 0x80, 0x00, 0x40, 0x00, 0x00, 0x04, 0x01, 0x02, 0x03, 0x04};
  WordSumChecksum(chunk, 6);
  EXPECT_EQ(std::vector<uint8_t>(chunk + 12, chunk + 16),
            (std::vector<uint8_t>{0x00, 0x00, 0xAF, 0x19}));

  // The signature chunk's sum passes 16 bits: the second checksum byte carries it.
  uint8_t signature[16] = {0x55, 0xA4, 0x80, 0x00, 0x41, 0x00, 0x00, 0x04, 0x47, 0x4B, 0x4A, 0x41};
  EXPECT_EQ(WordSumChecksum(signature, 6), 0x000135A7u);
  EXPECT_EQ(std::vector<uint8_t>(signature + 12, signature + 16),
            (std::vector<uint8_t>{0x00, 0x01, 0x35, 0xA7}));
}

class ChunkChoiceTest : public ::testing::Test {
 protected:
  std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
};

TEST_F(ChunkChoiceTest, TrimsTrailingGapsMakesEvenAndSkipsUnloadedRuns) {
  Load(*image, 0x4000, 0x4004);
  Load(*image, 0x4100, 0x4100);
  ChunkChoice first = ChooseNextChunk(*image, 0, 0x4100, 0);
  EXPECT_FALSE(first.finished);
  EXPECT_EQ(first.address, 0x4000u);
  EXPECT_EQ(first.length, 6u);  // five loaded bytes, made even with the fill byte at 0x4005

  ChunkChoice second = ChooseNextChunk(*image, 0x4006, 0x4100, 0);
  EXPECT_EQ(second.address, 0x4100u);
  EXPECT_EQ(second.length, 2u);

  ChunkChoice done = ChooseNextChunk(*image, 0x4102, 0x4100, 0);
  EXPECT_TRUE(done.finished);
}

TEST_F(ChunkChoiceTest, KeepsGapsInsideAChunkAndStopsAt192Bytes) {
  Load(*image, 0x4000, 0x4010);
  Load(*image, 0x4080, 0x42FF);
  ChunkChoice c = ChooseNextChunk(*image, 0, 0x42FF, 0);
  EXPECT_EQ(c.address, 0x4000u);
  EXPECT_EQ(c.length, 192u);
}

TEST_F(ChunkChoiceTest, LowStartImageCutsTheChunkAtOffset0x780To128Bytes) {
  Load(*image, 0x2000, 0x2FFF);
  EXPECT_EQ(ChooseNextChunk(*image, 0x2780, 0x2FFF, 0x2000).length, 128u);
  EXPECT_EQ(ChooseNextChunk(*image, 0x2780, 0x2FFF, 0x4100).length, 192u);
  EXPECT_EQ(ChooseNextChunk(*image, 0x2700, 0x2FFF, 0x2000).length, 192u);
}

TEST_F(ChunkChoiceTest, AnOddChunkAtTheEndOfTheImageStartsOneByteEarlier) {
  Load(*image, 0x3FF00, 0x3FFFF);
  // 0x3FFFD..0x3FFFF: three bytes that end on the image's last address.
  ChunkChoice c = ChooseNextChunk(*image, 0x3FFFD, 0x3FFFF, 0);
  EXPECT_EQ(c.address, 0x3FFFCu);
  EXPECT_EQ(c.length, 4u);
  EXPECT_LE(c.address + c.length, kImageSize);
}

TEST_F(ChunkChoiceTest, PlanListsEveryChunkAndTheSignatureLast) {
  Load(*image, 0x4000, 0x41FF);
  ImageAnalysis analysis;
  analysis.code_begin = 0x4000;
  analysis.code_end = 0x41FF;
  analysis.signature = 0x4100;
  const std::vector<PlannedChunk> chunks = PlanChunks(*image, analysis);
  ASSERT_EQ(chunks.size(), 4u);
  EXPECT_EQ(chunks[0].address, 0x4000u);
  EXPECT_EQ(chunks[0].length, 192u);
  EXPECT_EQ(chunks[1].address, 0x40C0u);
  EXPECT_EQ(chunks[1].length, 192u);
  EXPECT_EQ(chunks[2].address, 0x4180u);
  EXPECT_EQ(chunks[2].length, 128u);
  EXPECT_EQ(chunks[3].address, 0x4100u);
  EXPECT_EQ(chunks[3].length, 4u);
}

TEST_F(ChunkChoiceTest, AnImageWithOnlyLowBlocksIsProgrammedWhereItIsErased) {
  Load(*image, 0x0500, 0x05FF);
  Load(*image, 0x0900, 0x0903);
  ImageAnalysis analysis;  // no code range from 0x4000 up
  EXPECT_EQ(ProgramEnd(*image, analysis), 0x0903u);
  const std::vector<PlannedChunk> chunks = PlanChunks(*image, analysis);
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].address, 0x0500u);
  EXPECT_EQ(chunks[2].address, 0x0900u);
  EXPECT_EQ(chunks[2].length, 4u);
}

}  // namespace
}  // namespace quillmont
