// SPDX-License-Identifier: Apache-2.0
// The baud_text buffer: a zero-terminated decimal baud rate of at most 9 characters in 10 bytes,
// which is also the whole content of the settings file.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace quillmont {

using BaudText = std::array<char, 10>;

// Copies at most 9 characters of `text` and terminates; the bytes after the terminator are 0.
void SetBaudText(BaudText& baud_text, std::string_view text);

// The text up to the first zero byte (at most 9 characters: the last byte is always a zero).
std::string BaudTextString(const BaudText& baud_text);

}  // namespace quillmont
