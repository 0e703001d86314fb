// Reading a UID that the operator typed: hexadecimal digits in pairs, high half first, with
// optional blanks between the bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillmont {

// Reads `text` into at most `max_count` bytes of `dest`. Digits are taken in pairs, high half
// first; blanks may lead the text and separate the bytes; a single digit between blanks or at the
// end is a byte of its own; once `max_count` bytes are complete after a pair, the rest of the
// text is not read. Returns the count of bytes read (0 for an empty text), or -1 when the text is
// invalid: a character that is neither a hex digit nor a blank (a line break, a hyphen, the x of
// "0x"), a run of blanks that reaches the end of the text, or a blank that completes the last
// byte and is followed by more text. Bytes written before the text turned out invalid stay
// written; nothing is ever written at or beyond dest[max_count].
int16_t ParseHexBytes(std::string_view text, uint8_t* dest, int16_t max_count);

// The text with a..z turned into A..Z; every other byte unchanged.
std::string ToUpperAscii(std::string_view text);

}  // namespace quillmont
