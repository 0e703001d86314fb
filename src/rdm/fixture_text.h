// SPDX-License-Identifier: Apache-2.0
// A fixture's texts (model description, software version label, any parameter data shown as
// text) are data from outside: bytes up to the first NUL, in whatever encoding the fixture's
// maker chose. Fixtures send Latin-1 in practice, so a byte above 0x7F is read as the Latin-1
// character of that number. Nothing here passes a control byte on: each rendering says what it
// does with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quillmont {

// The most bytes of a fixture's text that are looked at: a whole RDM parameter data block.
inline constexpr size_t kMaxFixtureText = 231;

// The text in a reply's parameter data: its bytes up to the first NUL, at most kMaxFixtureText.
std::string FixtureTextOf(std::span<const uint8_t> data);

// Every rendering below first cuts `text` at its first NUL and to kMaxFixtureText bytes.

// For a terminal. Control bytes (below 0x20, 0x7F, and the C1 controls 0x80 to 0x9F, which some
// terminals obey) are shown as \xNN. The other bytes above 0x7F are written as the UTF-8 of their
// Latin-1 character when the terminal takes UTF-8, and as \xNN when it does not. The result is
// printable ASCII, or printable ASCII and UTF-8.
std::string TerminalText(std::string_view text, bool utf8_terminal);

// For a JSON string: valid UTF-8 that keeps every byte (Latin-1 above 0x7F). Control characters
// stay as they are; a JSON writer escapes them (\u001b).
std::string JsonText(std::string_view text);

// For the window: valid UTF-8 without control characters (shown as \xNN, as on a terminal).
std::string WindowText(std::string_view text);

// Whether a terminal takes UTF-8, from the locale variables as POSIX orders them: the first of
// LC_ALL, LC_CTYPE and LANG that is set and not empty decides, and names UTF-8 ("en_US.UTF-8",
// "C.utf8"). Null stands for a variable that is not set.
bool TerminalTakesUtf8(const char* lc_all, const char* lc_ctype, const char* lang);

// The same, from this process's environment.
bool TerminalTakesUtf8();

}  // namespace quillmont
