// SPDX-License-Identifier: Apache-2.0
// A whole number typed by a person: decimal, or hexadecimal after "0x" (device model IDs are
// usually written in hex), nothing else around it, at most `highest`.
#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>

namespace quillmont {

inline bool ParseWholeNumber(std::string_view text, uint32_t highest, uint32_t& value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  uint32_t parsed = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || parsed > highest) {
    return false;
  }
  value = parsed;
  return true;
}

}  // namespace quillmont
