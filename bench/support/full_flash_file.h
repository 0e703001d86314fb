// A firmware file that covers the whole 256 KiB flash: pseudo-random code in 32-byte S2 records
// with the application signature "GKJA" at 0x4100 and a version label after it, so that the
// simulated fixture takes the result as a valid application.
#pragma once

#include <filesystem>

namespace quillmont::bench {

// Writes the file at `path` (always the same bytes). False when it cannot be written.
bool WriteFullFlashFile(const std::filesystem::path& path);

}  // namespace quillmont::bench
