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

// Where a command writes: results to `out`, failures to `err`.
struct CliOutput {
  std::ostream& out;
  std::ostream& err;
  bool out_is_terminal = false;  // a live progress line instead of plain log lines
};

struct CliCommand {
  CLI::App* subcommand = nullptr;            // owned by the parser
  std::function<int(const CliConfig&)> run;  // gives the exit status
};

}  // namespace quillmont::cli
