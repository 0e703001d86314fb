#include "app/uid_text.h"

namespace quillmont {
namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  return -1;
}

}  // namespace

int16_t ParseHexBytes(std::string_view text, uint8_t* dest, int16_t max_count) {
  int16_t count = 0;
  bool pending = false;  // the high digit of dest[count] is in, its low digit not yet
  size_t at = 0;
  while (count < max_count && at < text.size()) {
    if (text[at] == ' ') {
      if (pending) {
        ++count;  // a lone digit before the blanks is a whole byte
        pending = false;
      }
      while (at < text.size() && text[at] == ' ') {
        ++at;
      }
      if (at == text.size()) {
        return -1;
      }
    }
    const int value = HexDigitValue(text[at++]);
    if (value < 0) {
      return -1;
    }
    if (count >= max_count) {
      return -1;  // the blanks completed the last byte and more text follows
    }
    if (!pending) {
      dest[count] = static_cast<uint8_t>(value);
      pending = true;
    } else {
      dest[count] = static_cast<uint8_t>(dest[count] * 16 + value);
      ++count;
      pending = false;
    }
  }
  if (pending) {
    ++count;
  }
  return count;
}

std::string ToUpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return upper;
}

}  // namespace quillmont
