// SPDX-License-Identifier: Apache-2.0
// Bytes in and out of a non-blocking descriptor (a pseudo-terminal's either side) with bounded
// waits, for the tests that drive a real terminal device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillmont::testing {

// Writes every byte; a failed write fails the test.
void WriteAllTo(int fd, const std::vector<uint8_t>& bytes);

// Reads until `count` bytes are in or `timeout_ms` has passed; returns what came.
std::vector<uint8_t> ReadFrom(int fd, size_t count, int timeout_ms);

}  // namespace quillmont::testing
