// SPDX-License-Identifier: Apache-2.0
// A firmware file that covers the 256 KiB flash from `first_address` (0: the whole of it; 0x4000:
// the near-full image of an application above the bootloader, 240 KiB): pseudo-random code in
// 32-byte S2 records with the application signature "GKJA" at 0x4100 and a version label after
// it, so that the simulated fixture takes the result as a valid application.
#pragma once

#include <cstdint>
#include <filesystem>

namespace quillmont::bench {

// Writes the file at `path` (always the same bytes). False when it cannot be written.
bool WriteFullFlashFile(const std::filesystem::path& path, uint32_t first_address = 0);

}  // namespace quillmont::bench
