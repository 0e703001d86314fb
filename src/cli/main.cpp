// quillmont-cli: the firmware updater for scripts and production lines.
#include <iostream>

#include "cli/cli_app.h"

int main(int argc, char** argv) {
  return quillmont::cli::RunCli(argc, argv, std::cout, std::cerr);
}
