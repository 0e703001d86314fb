// quillmont-cli inspect FILE: loads and analyses a firmware file and prints what the window logs
// for it, then a summary for people.
#pragma once

#include <string>

#include "cli/cli_command.h"

namespace quillmont::cli {

CliCommand AddInspectCommand(CLI::App& app, CliOutput io);

// Prints the analysis line (with its CR LF inside and a newline at its end), the loaded byte
// count, the number of records and the file's SHA-256 in the form sha256sum prints it.
int RunInspect(const std::string& path, CliOutput io);

}  // namespace quillmont::cli
