// SPDX-License-Identifier: Apache-2.0
// One subcommand of quillmont-cli: each command adds itself to the parser and says what to run
// when the command line chose it, with the options read once.
#pragma once

#include <functional>
#include <ostream>

#include "cli/cli_options.h"

namespace CLI {
class App;
}

namespace quillmont::cli {

class PortNotices;

// Where a command writes. Standard output carries what the command came to (a result, a table,
// one JSON document); standard error what happens meanwhile (status lines, the update's log,
// live progress) and every warning and reason. Both pass a TerminalGuard (console_text.h).
struct CliOutput {
  std::ostream& out;
  std::ostream& err;
  // Standard error without its guard: the live lines' own control sequences alone go there.
  std::ostream* controls = nullptr;
  bool live = false;    // standard error is a terminal: a live progress line, redrawn in place
  bool utf8 = false;    // the terminal takes UTF-8: a fixture's texts keep their letters
  size_t columns = 80;  // the terminal's width, which a live line never passes
  const PortNotices* notices = nullptr;  // what the search for an adapter told
};

struct CliCommand {
  CLI::App* subcommand = nullptr;            // owned by the parser
  std::function<int(const CliConfig&)> run;  // gives the exit status
};

}  // namespace quillmont::cli
