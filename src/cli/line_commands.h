// SPDX-License-Identifier: Apache-2.0
// The commands that work on the line itself rather than through the window: list (the adapters
// the chosen driver finds) and discover --all (every fixture on the line, by full discovery).
#pragma once

#include "cli/cli_command.h"

namespace quillmont::cli {

CliCommand AddListCommand(CLI::App& app, CliOutput io);
CliCommand AddDiscoverCommand(CLI::App& app, CliOutput io);

}  // namespace quillmont::cli
