// SPDX-License-Identifier: Apache-2.0
// How a command of quillmont-cli fails: the message on the error stream and, with --json, a
// document that says which command failed, why, and with which exit status.
#pragma once

#include <string>

#include "cli/cli_command.h"

namespace quillmont::cli {

// Writes the failure and returns `code`, the exit status.
int FailCommand(const CliConfig& config, CliOutput io, const char* command, int code,
                const std::string& text);

}  // namespace quillmont::cli
