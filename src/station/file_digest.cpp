#include "station/file_digest.h"

#include <array>
#include <cstdio>
#include <memory>

#include "station/sha256.h"

namespace quillmont {

Result<std::vector<uint8_t>> ReadFileBytes(const std::string& path, size_t max_bytes) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
  if (!file) {
    return Error{"Unable to read file."};
  }
  std::vector<uint8_t> bytes;
  std::array<uint8_t, 64 * 1024> block{};
  size_t got = 0;
  while ((got = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
    if (bytes.size() + got > max_bytes) {
      return Error{"Unable to read file."};
    }
    bytes.insert(bytes.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got));
  }
  if (std::ferror(file.get()) != 0) {
    return Error{"Unable to read file."};
  }
  return bytes;
}

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
  const Result<std::vector<uint8_t>> bytes = ReadFileBytes(path);
  if (!bytes) {
    return bytes.error();
  }
  return Sha256Hex(*bytes);
}

}  // namespace quillmont
