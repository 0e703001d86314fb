// SPDX-License-Identifier: Apache-2.0
#include "app/decimal_text.h"

namespace quillmont {

int32_t DecimalTextValue(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  uint32_t value = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
    value = value * 10u + static_cast<uint32_t>(text[at] - '0');
    ++at;
  }
  if (negative) {
    value = 0u - value;
  }
  return static_cast<int32_t>(value);
}

}  // namespace quillmont
