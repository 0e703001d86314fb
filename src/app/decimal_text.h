// SPDX-License-Identifier: Apache-2.0
// Reading a decimal number the way C's atoi reads it, without its undefined behaviour.
#pragma once

#include <cstdint>
#include <string_view>

namespace quillmont {

// Leading blanks (space, tab, line breaks), an optional sign, then the digits up to the first
// other character; 0 when there are none. A number too large for 32 bits keeps its low 32 bits,
// so its low 16 bits are always those of the number typed.
int32_t DecimalTextValue(std::string_view text);

}  // namespace quillmont
