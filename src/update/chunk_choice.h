// SPDX-License-Identifier: Apache-2.0
// How the update procedure cuts the loaded image into program chunks. The procedure and
// `quillmont-cli inspect` share it, so what inspect lists is what an update sends.
#pragma once

#include <cstdint>
#include <vector>

#include "update/firmware_image.h"
#include "update/image_analysis.h"

namespace quillmont {

inline constexpr uint32_t kMaxChunkLength = 192;
// With the signature at 0x2000, the chunk that starts at offset 0x780 of a 2 KiB page is cut to
// 128 bytes so that it ends on the page boundary.
inline constexpr uint32_t kLowStartShortChunk = 128;

struct ChunkChoice {
  bool finished = false;  // no loaded byte is left up to the end of programming
  uint32_t address = 0;   // where the chunk starts (the scan moved past unloaded bytes)
  uint32_t length = 0;    // bytes in the chunk, always even
};

// The last address that programming covers: code_end, or, for an image whose only changed bytes
// lie in the low blocks below 0x4000 (no code range), the highest of those, so that blocks which
// are erased are also programmed again.
uint32_t ProgramEnd(const FirmwareImage& image, const ImageAnalysis& analysis);

// Chooses the chunk that starts at or after `write_address`: unloaded addresses are skipped, a
// chunk is at most 192 bytes (128 in the low-start case), never runs past `program_end` or the
// end of the image, drops trailing unloaded bytes and is made even. A chunk that would end on
// the image's last address with an odd length starts one byte earlier instead of running past
// the image.
ChunkChoice ChooseNextChunk(const FirmwareImage& image, uint32_t write_address,
                            uint32_t program_end, uint32_t signature);

struct PlannedChunk {
  uint32_t address;
  uint32_t length;
};

// Every program request an update sends when each is acknowledged at once, the signature chunk
// last. `image` is the analysed image (signature placeholder in place).
std::vector<PlannedChunk> PlanChunks(const FirmwareImage& image, const ImageAnalysis& analysis);

}  // namespace quillmont
