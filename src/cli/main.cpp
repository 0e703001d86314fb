// quillmont-cli: the firmware updater for scripts and production lines.
#include <iostream>

#include "cli/cli_app.h"
#include "cli/console_mode.h"
#include "cli/interrupt.h"

int main(int argc, char** argv) {
  quillmont::cli::UseBinaryConsole();
  quillmont::cli::InstallInterruptHandlers();
  return quillmont::cli::RunCli(argc, argv, std::cout, std::cerr,
                                quillmont::cli::StandardOutputIsTerminal());
}
