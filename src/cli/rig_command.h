// SPDX-License-Identifier: Apache-2.0
// quillmont-cli flash --all-fixtures FILE: every fixture on the line updated, one after another,
// the others left in their application; with --all-adapters, every adapter's line at once.
#pragma once

#include "cli/cli_command.h"
#include "cli/flash_command.h"

namespace quillmont::cli {

int RunFlashAllFixtures(const FlashRequest& request, const CliConfig& config, CliOutput io);

}  // namespace quillmont::cli
