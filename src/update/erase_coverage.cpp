// SPDX-License-Identifier: Apache-2.0
#include "update/erase_coverage.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace quillmont {
namespace {

constexpr uint32_t kLowBlockSize = 0x400;
constexpr uint32_t kLowBlocksEnd = 0x4000;
constexpr uint32_t kFixedSectorSize = 0x2000;
constexpr uint32_t kLowStart = 0x2000;

ErasedRange RangeOf(uint32_t address, const ImageAnalysis& analysis) {
  if (analysis.code_begin != 0 && address == analysis.code_begin) {
    return {address, address, kImageSize};
  }
  const uint32_t size = address < kLowBlocksEnd ? kLowBlockSize : kFixedSectorSize;
  return {address, address, std::min(address + size, kImageSize)};
}

// Whether the bootloader writes the byte at `address` of this chunk: the signature's bytes
// always, any other byte when it differs from the fill pattern there.
bool Programs(const FirmwareImage& image, const ImageAnalysis& analysis, uint32_t address) {
  if (analysis.HasSignature() && address >= analysis.signature &&
      address - analysis.signature < kSignatureMagic.size()) {
    return true;
  }
  return image.bytes[address] != FillPatternAt(address);
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "$%X", static_cast<unsigned>(value));
  return text;
}

bool Erased(const std::vector<ErasedRange>& ranges, uint32_t address) {
  return std::any_of(ranges.begin(), ranges.end(), [address](const ErasedRange& r) {
    return address >= r.begin && address < r.end;
  });
}

std::optional<uint32_t> FirstChangedOutside(const FirmwareImage& image,
                                            const std::vector<ErasedRange>& ranges) {
  for (uint32_t a = 0; a < kImageSize; ++a) {
    if (image.bytes[a] != FillPatternAt(a) && !Erased(ranges, a)) {
      return a;
    }
  }
  return std::nullopt;
}

// Why the file is refused: data at `address` in flash that the plan does not erase, carried by
// `chunk` (or by none).
std::string RefusalText(const PlannedChunk* chunk, uint32_t address,
                        const ImageAnalysis& analysis) {
  std::string text =
      "The file has data at " + Hex(address) + " in flash that this update does not erase";
  if (chunk != nullptr) {
    text += " (the program request for " + Hex(chunk->address) + ", " +
            std::to_string(chunk->length) +
            " bytes): written over old contents it would come out wrong";
  } else {
    text += ": it would be left unwritten";
  }
  text += ", so the update refuses the file.";
  if (address < kLowBlockSize) {
    text += " The block at 0 is never erased.";
  } else if (analysis.code_begin == kLowStart && address < kLowStart) {
    text += " A low-start image erases from $2000 up only.";
  }
  return text;
}

}  // namespace

std::vector<ErasedRange> ErasedRanges(const ImageAnalysis& analysis, const ErasePlan& plan) {
  std::vector<ErasedRange> ranges;
  for (int16_t i = 0; i < plan.erase_count && i < ErasePlan::kCapacity; ++i) {
    const uint32_t address = plan.erase_list[static_cast<size_t>(i)];
    if (address != 0 && address < kImageSize) {
      ranges.push_back(RangeOf(address, analysis));
    }
  }
  return ranges;
}

ChunkCoverage CoverageOf(const PlannedChunk& chunk, const FirmwareImage& image,
                         const ImageAnalysis& analysis, const std::vector<ErasedRange>& ranges) {
  ChunkCoverage coverage;
  const uint32_t end = std::min(chunk.address + chunk.length, kImageSize);
  for (uint32_t a = chunk.address; a < end; ++a) {
    if (!Programs(image, analysis, a)) {
      continue;
    }
    const auto range = std::find_if(ranges.begin(), ranges.end(), [a](const ErasedRange& r) {
      return a >= r.begin && a < r.end;
    });
    if (range == ranges.end()) {
      if (!coverage.unerased) {
        coverage.unerased = a;
      }
    } else if (std::find(coverage.erases.begin(), coverage.erases.end(), range->erase_address) ==
               coverage.erases.end()) {
      coverage.erases.push_back(range->erase_address);
    }
  }
  return coverage;
}

Status CheckChunksErased(const FirmwareImage& image, const ImageAnalysis& analysis,
                         const ErasePlan& plan) {
  const std::vector<ErasedRange> ranges = ErasedRanges(analysis, plan);
  for (const PlannedChunk& chunk : PlanChunks(image, analysis)) {
    if (const ChunkCoverage coverage = CoverageOf(chunk, image, analysis, ranges);
        coverage.unerased) {
      return Error{RefusalText(&chunk, *coverage.unerased, analysis)};
    }
  }
  // Data that no chunk carries (the block at 0 when nothing else below 0x4000 changes) would be
  // left unwritten: refused as well.
  if (const std::optional<uint32_t> address = FirstChangedOutside(image, ranges)) {
    return Error{RefusalText(nullptr, *address, analysis)};
  }
  return {};
}

}  // namespace quillmont
