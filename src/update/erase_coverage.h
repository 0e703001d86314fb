// SPDX-License-Identifier: Apache-2.0
// Which flash an update's erase commands clear, and the rule that follows from NOR flash: a
// program request may only write flash that this update erased. Programming can only clear bits,
// so bytes written over flash that still holds an older firmware come out wrong.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/result.h"
#include "update/chunk_choice.h"
#include "update/firmware_image.h"
#include "update/image_analysis.h"

namespace quillmont {

// The flash [begin, end) that the erase command at `erase_address` clears, as the update counts on
// it: a low block its 1 KiB; the erase at code_begin (0x2000 in a low-start image) the code area
// from there to the end of the flash, since no later address of the plan reaches past 0xFFFF; a
// fixed address (0x8000 ... 0xE000) its 8 KiB. The block at 0 is never erased.
struct ErasedRange {
  uint32_t erase_address = 0;
  uint32_t begin = 0;
  uint32_t end = 0;
};

std::vector<ErasedRange> ErasedRanges(const ImageAnalysis& analysis, const ErasePlan& plan);

// Where a chunk's bytes land: the erase commands whose ranges hold the bytes it programs, in
// the plan's order, and the first programmed byte that none of them holds. A byte equal to the
// fill pattern at its address (a gap, the byte that makes a chunk even, the signature's
// placeholder) is left unprogrammed by the bootloader; the signature's own four bytes are always
// programmed.
struct ChunkCoverage {
  std::vector<uint32_t> erases;
  std::optional<uint32_t> unerased;
};

ChunkCoverage CoverageOf(const PlannedChunk& chunk, const FirmwareImage& image,
                         const ImageAnalysis& analysis, const std::vector<ErasedRange>& ranges);

// Every chunk of the update writes only flash that its erase commands clear, and every byte the
// file changes lies in that flash (none is left unwritten); otherwise an error that names the
// first address at fault and the chunk that carries it. `image` is the analysed image (signature
// placeholder in place) and `plan` the whole plan, before any erase.
Status CheckChunksErased(const FirmwareImage& image, const ImageAnalysis& analysis,
                         const ErasePlan& plan);

}  // namespace quillmont
