// SPDX-License-Identifier: Apache-2.0
// The 256 KiB picture of the fixture's flash, with the map of the addresses a firmware file
// supplied and the count of bytes it supplied.
#pragma once

#include <array>
#include <cstdint>

namespace quillmont {

inline constexpr uint32_t kImageSize = 0x40000;

// Before a load every address a holds the low byte of NOT a: FF FE ... 01 00, repeating every
// 256 bytes. A byte that differs from it is a changed byte.
constexpr uint8_t FillPatternAt(uint32_t address) {
  return static_cast<uint8_t>(0xFF - (address & 0xFF));
}

// How the firmware file ended: with an end record and, if it had one, a count record that
// agrees with its data records; without an end record after its last data record; or with a
// count record that disagrees (or cannot be read).
enum class FileEnding { kComplete, kNoEndRecord, kCountMismatch };

struct FirmwareImage {
  std::array<uint8_t, kImageSize> bytes;
  std::array<uint8_t, kImageSize> loaded;  // 1 where a data record supplied the address
  int32_t loaded_count = 0;                // bytes taken from accepted records (duplicates too)
  FileEnding file_ending = FileEnding::kComplete;

  FirmwareImage() { Reset(); }

  // Fill pattern everywhere, nothing loaded.
  void Reset() {
    for (uint32_t a = 0; a < kImageSize; ++a) {
      bytes[a] = FillPatternAt(a);
    }
    loaded.fill(0);
    loaded_count = 0;
    file_ending = FileEnding::kComplete;
  }
};

}  // namespace quillmont
