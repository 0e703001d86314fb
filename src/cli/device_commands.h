// SPDX-License-Identifier: Apache-2.0
// The commands that talk to one fixture through the window core, as an operator would with its
// buttons: info (what the window shows once a fixture is found), identify on|off and
// set-address N. Each waits for the answer through the tick (see station/fixture_commands.h).
#pragma once

#include "cli/cli_command.h"

namespace quillmont::cli {

CliCommand AddInfoCommand(CLI::App& app, CliOutput io);
CliCommand AddIdentifyCommand(CLI::App& app, CliOutput io);
CliCommand AddSetAddressCommand(CLI::App& app, CliOutput io);

}  // namespace quillmont::cli
