// SPDX-License-Identifier: Apache-2.0
#include "station/file_digest.h"

#include <array>
#include <cstdio>
#include <memory>

#include "station/sha256.h"
#include "update/srec2.h"

namespace quillmont {

Result<std::string> Sha256Hex(std::span<const uint8_t> bytes) {
  Sha256 hash;
  if (!hash.Update(bytes.data(), bytes.size())) {
    return Error{"Unable to hash the file."};
  }
  const std::optional<Sha256Digest> digest = hash.Finish();
  if (!digest) {
    return Error{"Unable to hash the file."};
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (const uint8_t byte : *digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
  }
  return text;
}

Result<std::string> Sha256FileHex(const std::string& path) {
  const Result<std::vector<uint8_t>> bytes = ReadFirmwareFile(path);
  if (!bytes) {
    return bytes.error();
  }
  return Sha256Hex(*bytes);
}

}  // namespace quillmont
