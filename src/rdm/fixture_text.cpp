// SPDX-License-Identifier: Apache-2.0
#include "rdm/fixture_text.h"

#include <algorithm>
#include <cstdlib>

namespace quillmont {
namespace {

std::string_view Bounded(std::string_view text) {
  text = text.substr(0, std::min(text.find('\0'), kMaxFixtureText));
  return text;
}

// C0 controls, DEL and the C1 controls.
bool IsControl(uint8_t byte) {
  return byte < 0x20 || (byte >= 0x7F && byte <= 0x9F);
}

void AppendEscaped(std::string& out, uint8_t byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

// The UTF-8 of the Latin-1 character `byte` (0x80 to 0xFF): two bytes.
void AppendLatin1AsUtf8(std::string& out, uint8_t byte) {
  out += static_cast<char>(0xC0 | (byte >> 6));
  out += static_cast<char>(0x80 | (byte & 0x3F));
}

bool NamesUtf8(std::string_view locale) {
  std::string lower;
  for (const char c : locale) {
    if (c != '-') {
      lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
  }
  return lower.find("utf8") != std::string::npos;
}

}  // namespace

std::string FixtureTextOf(std::span<const uint8_t> data) {
  const std::span<const uint8_t> bounded = data.first(std::min(data.size(), kMaxFixtureText));
  const auto end = std::find(bounded.begin(), bounded.end(), uint8_t{0});
  return std::string(bounded.begin(), end);
}

std::string TerminalText(std::string_view text, bool utf8_terminal) {
  std::string out;
  for (const char c : Bounded(text)) {
    const auto byte = static_cast<uint8_t>(c);
    if (IsControl(byte) || (byte > 0x7F && !utf8_terminal)) {
      AppendEscaped(out, byte);
    } else if (byte > 0x7F) {
      AppendLatin1AsUtf8(out, byte);
    } else {
      out += c;
    }
  }
  return out;
}

std::string JsonText(std::string_view text) {
  std::string out;
  for (const char c : Bounded(text)) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte > 0x7F) {
      AppendLatin1AsUtf8(out, byte);
    } else {
      out += c;
    }
  }
  return out;
}

std::string WindowText(std::string_view text) {
  return TerminalText(text, true);
}

bool TerminalTakesUtf8(const char* lc_all, const char* lc_ctype, const char* lang) {
  for (const char* value : {lc_all, lc_ctype, lang}) {
    if (value != nullptr && *value != '\0') {
      return NamesUtf8(value);
    }
  }
  return false;
}

bool TerminalTakesUtf8() {
  return TerminalTakesUtf8(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"));
}

}  // namespace quillmont
