// SPDX-License-Identifier: Apache-2.0
// The texts quillmont-cli shows about a firmware update: the live progress line and the
// durations and rates in it.
#pragma once

#include <cstdint>
#include <string>

#include "station/flash_result.h"

namespace quillmont::cli {

// " 42%  5040/11972 B  1.9 KiB/s  0:04 left  <step>": the share and the bytes of the program
// requests acknowledged (100 % only once the signature is), the rate they are written at, the
// time left and the log's last line; the rate and the time left read "--" until programming has
// run for a moment. The line is cut to `width` characters, never inside one.
std::string FormatProgressLine(const FlashProgress& progress, size_t width = 100);

// "0:04", "12:31", "1:02:03".
std::string FormatDuration(uint64_t seconds);

// "980 B/s", "1.9 KiB/s".
std::string FormatRate(double bytes_per_second);

}  // namespace quillmont::cli
