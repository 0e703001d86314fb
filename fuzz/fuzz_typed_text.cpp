// SPDX-License-Identifier: Apache-2.0
// Text the operator types: the UID field's hexadecimal reader and the decimal reader of the DMX
// address and the baud rate. The first input byte picks the UID reader's byte count (0 to 8); the
// destination holds exactly that many bytes, so a write beyond it is caught.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/decimal_text.h"
#include "fuzz_check.h"
#include "rdm/uid.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// The value that strtoll gives, where the text is short enough for it not to overflow: the
// decimal reader must agree with it in the low 32 bits.
void CheckDecimal(std::string_view text) {
  const int32_t value = quillmont::DecimalTextValue(text);
  size_t at = 0;
  while (at < text.size() && IsBlank(text[at])) {
    ++at;
  }
  size_t digits_at = at;
  if (digits_at < text.size() && (text[digits_at] == '+' || text[digits_at] == '-')) {
    ++digits_at;
  }
  size_t digits = 0;
  while (digits_at + digits < text.size() && text[digits_at + digits] >= '0' &&
         text[digits_at + digits] <= '9') {
    ++digits;
  }
  if (digits == 0) {
    FUZZ_CHECK(value == 0);
    return;
  }
  if (digits > 18) {
    return;
  }
  const std::string number(text.substr(at, digits_at - at + digits));
  const long long expected = std::strtoll(number.c_str(), nullptr, 10);
  FUZZ_CHECK(static_cast<uint32_t>(value) == static_cast<uint32_t>(expected));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  const auto max_count = static_cast<int16_t>(data[0] % 9);
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  std::vector<uint8_t> dest(static_cast<size_t>(max_count));
  const int16_t count = quillmont::ParseHexBytes(text, dest.data(), max_count);
  FUZZ_CHECK(count >= -1 && count <= max_count);
  if (text.empty()) {
    FUZZ_CHECK(count == 0);
  }
  // A text of hex digits only, in pairs, gives its bytes.
  bool pairs_only = text.size() >= 2u * static_cast<size_t>(max_count) && max_count > 0;
  for (size_t i = 0; pairs_only && i < 2u * static_cast<size_t>(max_count); ++i) {
    const char c = text[i];
    pairs_only = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
  }
  if (pairs_only) {
    FUZZ_CHECK(count == max_count);
    for (int16_t i = 0; i < max_count; ++i) {
      const std::string pair(text.substr(2u * static_cast<size_t>(i), 2));
      FUZZ_CHECK(dest[static_cast<size_t>(i)] == std::strtoul(pair.c_str(), nullptr, 16));
    }
  }

  const std::string upper = quillmont::ToUpperAscii(text);
  FUZZ_CHECK(upper.size() == text.size());

  CheckDecimal(text);
  return 0;
}
