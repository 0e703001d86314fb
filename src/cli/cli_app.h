// quillmont-cli's command line: parses it, runs the chosen command and gives the exit status.
#pragma once

#include <ostream>

namespace quillmont::cli {

inline constexpr const char* kCliVersion = "quillmont-cli 3.20";

// `out_is_terminal`: standard output is a terminal, so a firmware update shows a live progress
// line.
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           bool out_is_terminal = false);

}  // namespace quillmont::cli
