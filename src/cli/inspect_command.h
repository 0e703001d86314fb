// SPDX-License-Identifier: Apache-2.0
// quillmont-cli inspect FILE: loads and analyses a firmware file and prints what the window logs
// for it, then a summary for people.
#pragma once

#include <string>

#include "cli/cli_command.h"

namespace quillmont::cli {

// `json`: print one JSON document instead (read when the command runs).
CliCommand AddInspectCommand(CLI::App& app, const bool& json, CliOutput io);

// Prints the analysis line (with its CR LF inside and a newline at its end), the loaded byte
// count, the number of records, the file's SHA-256 in the form sha256sum prints it, and the
// program chunks an update sends, in their order (the signature's last).
int RunInspect(const std::string& path, CliOutput io, bool json = false);

}  // namespace quillmont::cli
