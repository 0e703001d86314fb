// SPDX-License-Identifier: Apache-2.0
// The 6-byte RDM UID: the 16-bit manufacturer ID, then the 32-bit device ID, most significant
// byte first, copied into frames unchanged. A plain array, so that a UID is written as the six
// bytes it is ({0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78}); how it is read from text, shown and
// counted with lives beside it here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"

namespace quillmont {

using RdmUid = std::array<uint8_t, 6>;

inline constexpr RdmUid kBroadcastUid = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// "%02X %02X %02X %02X %02X %02X", the way the window shows a UID.
std::string FormatUid(const RdmUid& uid);

// A whole UID as the operator types it into the window: six bytes read by ParseHexBytes, and
// nothing after the sixth (a seventh byte is refused, not cut off). Case does not matter.
Result<RdmUid> ParseUid(std::string_view text);

// The window's reader of a typed UID. Reads `text` into at most `max_count` bytes of `dest`.
// Digits are taken in pairs, high half first; blanks may lead the text and separate the bytes; a
// single digit between blanks or at the end is a byte of its own; once `max_count` bytes are
// complete after a pair, the rest of the text is not read. Returns the count of bytes read (0
// for an empty text), or -1 when the text is invalid: a character that is neither a hex digit
// nor a blank (a line break, a hyphen, the x of "0x"), a run of blanks that reaches the end of
// the text, or a blank that completes the last byte and is followed by more text. Bytes written
// before the text turned out invalid stay written; nothing is ever written at or beyond
// dest[max_count].
int16_t ParseHexBytes(std::string_view text, uint8_t* dest, int16_t max_count);

// The text with a..z turned into A..Z; every other byte unchanged (how the window shows a UID
// typed in lower case).
std::string ToUpperAscii(std::string_view text);

// The UID as a 48-bit number and back, for walking the UID range.
uint64_t UidToNumber(const RdmUid& uid);
RdmUid NumberToUid(uint64_t number);

}  // namespace quillmont
