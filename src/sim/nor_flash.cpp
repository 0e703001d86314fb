// SPDX-License-Identifier: Apache-2.0
#include "sim/nor_flash.h"

#include <algorithm>
#include <fstream>

namespace quillmont {

uint32_t FlashSectorStart(uint32_t address) {
  if (address < 0x4000) {
    return address & ~0x3FFu;
  }
  if (address < 0x8000) {
    return 0x4000;
  }
  if (address < 0x10000) {
    return address & ~0x1FFFu;
  }
  return address & ~0xFFFFu;
}

FlashRange EraseRangeAt(uint32_t address) {
  if (address >= kFlashSize) {
    return {};
  }
  const uint32_t begin = FlashSectorStart(address);
  if (address < 0x2000) {
    return {begin, begin + 0x400};
  }
  return {begin, kFlashSize};
}

void NorFlash::Erase(FlashRange range) {
  const uint32_t end = std::min(range.end, kFlashSize);
  for (uint32_t a = range.begin; a < end; ++a) {
    bytes_[a] = 0xFF;
  }
}

void NorFlash::Program(uint32_t address, const uint8_t* data, uint32_t count) {
  for (uint32_t i = 0; i < count && address < kFlashSize && i < kFlashSize - address; ++i) {
    const uint32_t a = address + i;
    if (data[i] != FillPatternAt(a)) {
      bytes_[a] &= data[i];
    }
  }
}

void NorFlash::Load(uint32_t address, const uint8_t* data, uint32_t count) {
  for (uint32_t i = 0; i < count && address < kFlashSize && i < kFlashSize - address; ++i) {
    bytes_[address + i] = data[i];
  }
}

bool FlashHoldsImage(const NorFlash& flash, const FirmwareImage& loaded, uint32_t* first_mismatch) {
  for (uint32_t a = 0; a < kFlashSize; ++a) {
    if (loaded.loaded[a] == 1 && loaded.bytes[a] != FillPatternAt(a) &&
        flash.at(a) != loaded.bytes[a]) {
      if (first_mismatch != nullptr) {
        *first_mismatch = a;
      }
      return false;
    }
  }
  return true;
}

Status DumpFlash(const NorFlash& flash, const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) {
    out.write(reinterpret_cast<const char*>(flash.bytes().data()),
              static_cast<std::streamsize>(flash.bytes().size()));
    out.close();
  }
  if (!out) {
    return Error{"Cannot write the flash dump to " + path};
  }
  return {};
}

}  // namespace quillmont
