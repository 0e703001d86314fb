// SPDX-License-Identifier: Apache-2.0
// A firmware file read once into memory, and the digest of its bytes, for people to compare a
// firmware file with its release.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"

namespace quillmont {

// The SHA-256 of `bytes` in 64 lower-case hex digits.
Result<std::string> Sha256Hex(std::span<const uint8_t> bytes);

// The SHA-256 of the file's bytes, read as a firmware file is read (ReadFirmwareFile).
Result<std::string> Sha256FileHex(const std::string& path);

}  // namespace quillmont
