// A firmware file read once into memory, and the digest of its bytes, for people to compare a
// firmware file with its release.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"

namespace quillmont {

// Every byte of the file, read once from its start to its end (a pipe or /dev/stdin too); an
// error when it cannot be opened or read, or holds more than `max_bytes`.
Result<std::vector<uint8_t>> ReadFileBytes(const std::string& path,
                                           size_t max_bytes = 64 * 1024 * 1024);

// The SHA-256 of `bytes` in 64 lower-case hex digits.
Result<std::string> Sha256Hex(std::span<const uint8_t> bytes);

// The SHA-256 of the file's bytes.
Result<std::string> Sha256FileHex(const std::string& path);

}  // namespace quillmont
