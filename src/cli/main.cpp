// SPDX-License-Identifier: Apache-2.0
// quillmont-cli: the firmware updater for scripts and production lines.
#include <iostream>

#include "cli/cli_app.h"
#include "cli/console_mode.h"
#include "cli/interrupt.h"
#include "rdm/fixture_text.h"

int main(int argc, char** argv) {
  using namespace quillmont::cli;
  UseBinaryConsole();
  InstallInterruptHandlers();
  ConsoleFacts console;
  console.err_is_terminal = StandardErrorIsTerminal();
  console.utf8 = quillmont::TerminalTakesUtf8();
  console.columns = TerminalColumns();
  return RunCli(argc, argv, std::cout, std::cerr, console);
}
