// SPDX-License-Identifier: Apache-2.0
#include "rdm/uid.h"

#include <algorithm>
#include <cstdio>

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

std::string FormatUid(const RdmUid& uid) {
  char text[24];
  std::snprintf(text, sizeof text, "%02X %02X %02X %02X %02X %02X", uid[0], uid[1], uid[2], uid[3],
                uid[4], uid[5]);
  return text;
}

Result<RdmUid> ParseUid(std::string_view text) {
  // One byte more than a UID: a text with a seventh byte is refused, not cut short.
  std::array<uint8_t, 7> bytes{};
  if (ParseHexBytes(text, bytes.data(), static_cast<int16_t>(bytes.size())) != 6) {
    return Error{"Invalid RDM ID: six hex bytes, such as 4F 4C 12 34 56 78."};
  }
  RdmUid uid{};
  std::copy_n(bytes.begin(), uid.size(), uid.begin());
  return uid;
}

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

uint64_t UidToNumber(const RdmUid& uid) {
  uint64_t number = 0;
  for (uint8_t byte : uid) {
    number = number << 8 | byte;
  }
  return number;
}

RdmUid NumberToUid(uint64_t number) {
  RdmUid uid{};
  for (int i = 5; i >= 0; --i) {
    uid[static_cast<size_t>(i)] = static_cast<uint8_t>(number);
    number >>= 8;
  }
  return uid;
}

}  // namespace quillmont
