// SPDX-License-Identifier: Apache-2.0
// quillmont-cli's command line: parses it, runs the chosen command and gives the exit status.
#pragma once

#include <cstddef>
#include <ostream>

namespace quillmont::cli {

inline constexpr const char* kCliVersion = "quillmont-cli 3.20";

// What the program finds its console to be.
struct ConsoleFacts {
  bool err_is_terminal = false;  // standard error is a terminal: live progress lines
  bool utf8 = false;             // the terminal takes UTF-8 (TerminalTakesUtf8)
  size_t columns = 80;           // standard error's width, when it is a terminal
};

// Results go to `out`, everything else to `err` (see CliOutput); both pass a TerminalGuard.
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           const ConsoleFacts& console = {});

}  // namespace quillmont::cli
