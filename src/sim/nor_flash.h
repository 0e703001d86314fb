// SPDX-License-Identifier: Apache-2.0
// The fixture's 256 KiB of NOR flash, its erase map, and the checks that tests, the soak run and
// quillmont-cli make against it after an update.
//
// NOR semantics: an erase sets bytes to 0xFF; programming can only clear bits (the new content is
// the old AND the programmed byte), so a chunk written over unerased flash comes out corrupted.
//
// Erase map. An erase command names an address A:
//   - A below 0x2000 (the low blocks the tool lists, 0x400 to 0x1C00) erases A's 1 KiB sector.
//   - A from 0x2000 up erases from the start of A's sector to the end of flash. Sectors are
//     1 KiB below 0x4000, one 16 KiB sector 0x4000-0x7FFF, 8 KiB sectors 0x8000-0xFFFF and
//     64 KiB sectors from 0x10000.
// Why: an erase plan lists code_begin (any address, not rounded) and only those of 0x8000,
// 0xA000, 0xC000 and 0xE000 that lie above it and at or below code_end; nothing at or above
// 0x10000 is ever listed besides code_begin itself, and a low-start image lists 0x2000 alone
// whatever its code_end. So the erase at code_begin (or 0x2000) is the only command that can
// reach the top of the code range, and it must erase to the end. A sector-only map would leave
// 0x10000-0x1FFFF of a plan 0x4000, 0x8000 ... 0xE000 with code up to 0x1FFFF unerased. Every
// plan erases before it programs, so erasing more than the code range loses nothing the image
// supplies. The 1 KiB sectors below 0x2000 stay separate so that a listed low block erases
// only itself.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/result.h"
#include "update/firmware_image.h"

namespace quillmont {

inline constexpr uint32_t kFlashSize = kImageSize;

// The first address of the sector that holds `address`.
uint32_t FlashSectorStart(uint32_t address);

// The half-open range [begin, end) that an erase command at `address` clears.
struct FlashRange {
  uint32_t begin = 0;
  uint32_t end = 0;
};
FlashRange EraseRangeAt(uint32_t address);

class NorFlash {
 public:
  NorFlash() { bytes_.fill(0xFF); }

  // Clears [range.begin, range.end) to 0xFF (clipped to the flash).
  void Erase(FlashRange range);
  // ANDs `count` bytes into flash from `address` (clipped to the flash), except the bytes that
  // equal the fill pattern at their address: those are left unprogrammed.
  void Program(uint32_t address, const uint8_t* data, uint32_t count);
  // Writes bytes as they are, erase and AND aside: for setting up an initial content.
  void Load(uint32_t address, const uint8_t* data, uint32_t count);

  uint8_t at(uint32_t address) const { return bytes_[address % kFlashSize]; }
  const std::array<uint8_t, kFlashSize>& bytes() const { return bytes_; }

 private:
  std::array<uint8_t, kFlashSize> bytes_;
};

// The one check of a reported success. `loaded` is the image exactly as the firmware loader
// produced it, before the analysis puts the signature placeholder in: the signature bytes are
// still there, at the signature address. The flash holds the image when every loaded address
// whose byte differs from the fill pattern holds that byte (which covers the signature).
// Returns true, or false with the first mismatching address in *first_mismatch.
bool FlashHoldsImage(const NorFlash& flash, const FirmwareImage& loaded,
                     uint32_t* first_mismatch = nullptr);

// Writes the 256 KiB flash as raw bytes to `path`; an error when the file cannot be written.
Status DumpFlash(const NorFlash& flash, const std::string& path);

}  // namespace quillmont
