// SPDX-License-Identifier: Apache-2.0
// Arbitrary file bytes through the hex pair reader and the firmware loader, the image analysis and
// the chunk plan: no read or write outside the image, an erase plan inside its capacity and the
// flash, and program chunks that are even, at most 192 bytes, inside the image and cover every
// loaded byte that programming must reach.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "support/window_harness.h"
#include "update/chunk_choice.h"
#include "update/erase_coverage.h"
#include "update/image_analysis.h"
#include "update/srec2.h"

namespace quillmont {
namespace {

struct Scratch {
  testing::TempDir dir;
  std::string path = (dir.path() / "fuzz.srec2").string();
  std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
};

void CheckAnalysis(const FirmwareImage& image, const ImageAnalysis& analysis,
                   const ErasePlan& plan) {
  FUZZ_CHECK(analysis.code_begin < kImageSize);
  FUZZ_CHECK(analysis.code_end < kImageSize);
  FUZZ_CHECK(analysis.code_begin <= analysis.code_end || analysis.code_begin == 0);
  FUZZ_CHECK(analysis.signature % 256 == 0);
  FUZZ_CHECK(analysis.signature + 4 <= kImageSize);
  FUZZ_CHECK(plan.erase_count >= 0 && plan.erase_count <= ErasePlan::kCapacity);
  for (int i = 0; i < plan.erase_count; ++i) {
    FUZZ_CHECK(plan.erase_list[i] < kImageSize);
    FUZZ_CHECK(i == 0 || plan.erase_list[i - 1] < plan.erase_list[i]);
  }
  if (analysis.signature != 0) {
    // The placeholder stands where the signature was.
    for (uint32_t i = 0; i < 4; ++i) {
      FUZZ_CHECK(image.bytes[analysis.signature + i] == kSignaturePlaceholder[i]);
    }
  }
}

void CheckChunks(const FirmwareImage& image, const ImageAnalysis& analysis) {
  const std::vector<PlannedChunk> chunks = PlanChunks(image, analysis);
  const uint32_t end = ProgramEnd(image, analysis);
  FUZZ_CHECK(end < kImageSize);
  size_t data_chunks = chunks.size();
  if (analysis.signature != 0 && !chunks.empty() && chunks.back().address == analysis.signature &&
      chunks.back().length == 4) {
    --data_chunks;
  }
  uint32_t covered_to = 0;  // every loaded address below this lies in a chunk
  for (size_t i = 0; i < chunks.size(); ++i) {
    const PlannedChunk& chunk = chunks[i];
    FUZZ_CHECK(chunk.length > 0);
    FUZZ_CHECK(chunk.length % 2 == 0);
    FUZZ_CHECK(chunk.length <= kMaxChunkLength);
    FUZZ_CHECK(chunk.address < kImageSize);
    FUZZ_CHECK(chunk.length <= kImageSize - chunk.address);
    if (i >= data_chunks) {
      continue;
    }
    // Data chunks go up the image, and skip only addresses that nothing loaded.
    FUZZ_CHECK(chunk.address + 1 >= covered_to);
    for (uint32_t a = covered_to; a < chunk.address; ++a) {
      FUZZ_CHECK(image.loaded[a] == 0);
    }
    covered_to = std::max(covered_to, chunk.address + chunk.length);
  }
  if (data_chunks > 0) {
    for (uint32_t a = covered_to; a <= end; ++a) {
      FUZZ_CHECK(image.loaded[a] == 0);
    }
  }
}

// The update's refusal of a file agrees with where its chunks land: refused exactly when a chunk
// writes flash that no erase of the plan clears, or a changed byte lies outside that flash.
void CheckErased(const FirmwareImage& image, const ImageAnalysis& analysis, const ErasePlan& plan) {
  const std::vector<ErasedRange> ranges = ErasedRanges(analysis, plan);
  bool unerased = false;
  for (const PlannedChunk& chunk : PlanChunks(image, analysis)) {
    const ChunkCoverage coverage = CoverageOf(chunk, image, analysis, ranges);
    FUZZ_CHECK(!coverage.unerased || (*coverage.unerased >= chunk.address &&
                                      *coverage.unerased - chunk.address < chunk.length));
    unerased = unerased || coverage.unerased.has_value();
  }
  for (uint32_t a = 0; a < kImageSize && !unerased; ++a) {
    unerased = image.bytes[a] != FillPatternAt(a) &&
               std::none_of(ranges.begin(), ranges.end(),
                            [a](const ErasedRange& r) { return a >= r.begin && a < r.end; });
  }
  FUZZ_CHECK(CheckChunksErased(image, analysis, plan).ok() == !unerased);
}

}  // namespace
}  // namespace quillmont

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillmont;
  static Scratch scratch;
  {
    std::ofstream file(scratch.path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  if (size >= 2) {
    // A pair reads as a byte exactly when both characters are hex digits of either case, and
    // then as the byte that they spell.
    const char pair[3] = {static_cast<char>(data[0]), static_cast<char>(data[1]), '\0'};
    const auto byte = HexPairToByte(pair);
    const bool digits = std::isxdigit(data[0]) != 0 && std::isxdigit(data[1]) != 0;
    FUZZ_CHECK(byte.has_value() == digits);
    FUZZ_CHECK(!digits || *byte == std::strtoul(pair, nullptr, 16));
  }
  FirmwareImage& image = *scratch.image;
  const Result<Srec2Stats> result = LoadSrec2File(scratch.path, image);
  FUZZ_CHECK(result || !result.error().message.empty());
  FUZZ_CHECK(image.loaded_count >= 0);
  FUZZ_CHECK(FileEndingText(image.file_ending).empty() ==
             (image.file_ending == FileEnding::kComplete));
  if (!result || image.loaded_count == 0) {
    return 0;  // the button starts nothing
  }
  int32_t marked = 0;
  for (uint32_t a = 0; a < kImageSize; ++a) {
    FUZZ_CHECK(image.loaded[a] <= 1);
    marked += image.loaded[a];
  }
  FUZZ_CHECK(marked <= image.loaded_count);  // an address supplied twice counts twice

  ImageAnalysis analysis;
  ErasePlan plan;
  AnalyseImage(image, analysis, plan);
  CheckAnalysis(image, analysis, plan);
  CheckChunks(image, analysis);
  CheckErased(image, analysis, plan);
  (void)FormatAnalysisLog(analysis, plan);
  return 0;
}
