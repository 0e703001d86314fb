// SPDX-License-Identifier: Apache-2.0
// The checksum the bootloader expects after the parameter data of its erase and program
// commands.
#pragma once

#include <cstdint>

namespace quillmont {

// Sums `words` little-endian 16-bit words of `buffer` modulo 2^32 and writes the sum right after
// them, most significant byte first. Returns the sum.
uint32_t WordSumChecksum(uint8_t* buffer, int16_t words);

}  // namespace quillmont
