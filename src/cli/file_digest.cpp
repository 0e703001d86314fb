#include "cli/file_digest.h"

#include <array>
#include <cstdio>
#include <memory>

#include "cli/sha256.h"

namespace quillmont::cli {

std::string Sha256FileHex(const std::string& path) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
  if (!file) {
    return {};
  }
  Sha256 hash;
  std::array<unsigned char, 64 * 1024> block{};
  size_t got = 0;
  while ((got = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
    if (!hash.Update(block.data(), got)) {
      return {};
    }
  }
  if (std::ferror(file.get()) != 0) {
    return {};
  }
  const std::optional<Sha256Digest> digest = hash.Finish();
  if (!digest) {
    return {};
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (const uint8_t byte : *digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
  }
  return text;
}

}  // namespace quillmont::cli
