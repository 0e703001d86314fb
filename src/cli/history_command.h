// SPDX-License-Identifier: Apache-2.0
// quillmont-cli history [--uid UID] [--since DATE] [--json | --csv]: the updates recorded in the
// user's history, oldest first, as a table (or one JSON document, or CSV for a spreadsheet).
#pragma once

#include "cli/cli_command.h"

namespace quillmont::cli {

CliCommand AddHistoryCommand(CLI::App& app, CliOutput io);

}  // namespace quillmont::cli
