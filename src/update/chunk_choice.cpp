// SPDX-License-Identifier: Apache-2.0
#include "update/chunk_choice.h"

namespace quillmont {

uint32_t ProgramEnd(const FirmwareImage& image, const ImageAnalysis& analysis) {
  if (analysis.code_begin != 0) {
    return analysis.code_end;
  }
  // Without a code range only low blocks can have been planned for erasing.
  for (uint32_t a = 0x4000; a-- > 0x400;) {
    if (image.bytes[a] != FillPatternAt(a)) {
      return a;
    }
  }
  return analysis.code_end;
}

ChunkChoice ChooseNextChunk(const FirmwareImage& image, uint32_t write_address,
                            uint32_t program_end, uint32_t signature) {
  ChunkChoice choice;
  while (write_address <= program_end && write_address < kImageSize &&
         image.loaded[write_address] != 1) {
    ++write_address;
  }
  choice.address = write_address;
  if (write_address > program_end || write_address >= kImageSize) {
    choice.finished = true;
    return choice;
  }
  uint32_t length = kMaxChunkLength;
  if (signature == 0x2000 && (write_address & 0x7FF) == 0x780) {
    length = kLowStartShortChunk;
  }
  if (write_address + length >= kImageSize) {
    length = kImageSize - write_address;
  }
  if (write_address + length > program_end) {
    length = program_end - write_address + 1;
  }
  while (length > 1 && image.loaded[write_address + length - 1] == 0) {
    --length;
  }
  if (length % 2 != 0) {
    if (write_address + length < kImageSize) {
      ++length;  // the byte after the chunk goes out with what the image holds there
    } else {
      --write_address;  // the image ends here: take the byte before the chunk instead
      ++length;
    }
  }
  choice.address = write_address;
  choice.length = length;
  return choice;
}

std::vector<PlannedChunk> PlanChunks(const FirmwareImage& image, const ImageAnalysis& analysis) {
  std::vector<PlannedChunk> chunks;
  const uint32_t end = ProgramEnd(image, analysis);
  uint32_t address = 0;
  while (address <= end) {
    const ChunkChoice choice = ChooseNextChunk(image, address, end, analysis.signature);
    if (choice.finished) {
      return chunks;  // nothing loaded is left: the signature is not written
    }
    chunks.push_back({choice.address, choice.length});
    address = choice.address + choice.length;
  }
  if (analysis.signature != 0) {
    chunks.push_back({analysis.signature, 4});
  }
  return chunks;
}

}  // namespace quillmont
