// quillmont-cli: the firmware updater for scripts and production lines.
#include <unistd.h>

#include <iostream>

#include "cli/cli_app.h"

int main(int argc, char** argv) {
  return quillmont::cli::RunCli(argc, argv, std::cout, std::cerr, isatty(STDOUT_FILENO) == 1);
}
