// SPDX-License-Identifier: Apache-2.0
// What quillmont-cli writes reaches a technician's terminal, a log file or a script, and much of
// it comes from outside: a fixture's texts, the paths and arguments it was given, a history file
// read back, a backend's reasons. All of it is data. Everything the program writes passes a
// TerminalGuard, so no control byte from outside can recolour or rewrite a terminal, and every
// JSON document is valid UTF-8 whatever bytes its texts held.
#pragma once

#include <cstddef>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace quillmont::cli {

// The length of the valid UTF-8 sequence `text` starts with (the shortest form, no surrogate, at
// most U+10FFFF), or 0 when it starts with none.
size_t Utf8SequenceLength(std::string_view text);

// `text` as valid UTF-8 for a JSON document: its valid UTF-8 kept, every other byte read as the
// Latin-1 character of that number. Paths and arguments are UTF-8 on the systems we run on; a
// fixture's texts are Latin-1 and go through JsonText instead.
std::string Utf8Text(std::string_view text);

// `text` (UTF-8 of our own, or read back from a file) on one line of a terminal: the rules of
// the TerminalGuard below, and a line feed is shown as \x0A too.
std::string ShownText(std::string_view text, bool utf8);

// The first `columns` characters of `text` (a byte that is not UTF-8 counts as one), never
// split inside a UTF-8 sequence.
std::string FirstColumns(std::string_view text, size_t columns);

// `text` cut to at most `columns` characters (a cut one ends in "~") and padded with blanks to
// `columns`: a table's cell, never split inside a UTF-8 sequence.
std::string Cell(std::string_view text, size_t columns);

// A stream buffer in front of a terminal's stream (or a file's): line feeds, CR LF, printable
// ASCII and, when the terminal takes UTF-8, printable UTF-8 pass; every other byte (the C0 and
// C1 controls, DEL, a lone CR, bytes that are not UTF-8) is written as \xNN. Safe to write from
// several threads at once.
class TerminalGuard final : public std::streambuf {
 public:
  TerminalGuard(std::ostream& target, bool utf8);
  ~TerminalGuard() override;
  TerminalGuard(const TerminalGuard&) = delete;
  TerminalGuard& operator=(const TerminalGuard&) = delete;

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  void Put(unsigned char byte);
  void Escape(unsigned char byte);
  void EscapePending();

  std::ostream& target_;
  bool utf8_;
  std::mutex lock_;
  std::string pending_;  // a CR waiting for its LF, or a UTF-8 sequence not yet whole
  size_t awaited_ = 0;   // the length of the pending UTF-8 sequence
};

// An output stream whose bytes pass a TerminalGuard on their way to `target`.
class GuardedStream final : public std::ostream {
 public:
  GuardedStream(std::ostream& target, bool utf8) : std::ostream(nullptr), guard_(target, utf8) {
    rdbuf(&guard_);
  }

 private:
  TerminalGuard guard_;
};

}  // namespace quillmont::cli
