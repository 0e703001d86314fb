// SPDX-License-Identifier: Apache-2.0
// Byte strings written the way frames are read off a line analyser: "CC 01 18 ...".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillmont {

inline std::vector<uint8_t> HexBytes(const std::string& text) {
  std::vector<uint8_t> bytes;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    i += 2;
  }
  return bytes;
}

}  // namespace quillmont
