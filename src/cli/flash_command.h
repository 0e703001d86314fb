// SPDX-License-Identifier: Apache-2.0
// quillmont-cli flash FILE: the firmware update, on one fixture, on the fixture of every adapter
// at once (--all-adapters), or on every fixture of a line (--all-fixtures, rig_command.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/result.h"
#include "cli/cli_command.h"
#include "station/firmware_file.h"

namespace quillmont::cli {

// What `flash` was asked for, beside the global options.
struct FlashRequest {
  std::string path;
  bool all_adapters = false;
  bool allow_unterminated = false;  // flash a file that may be cut short
  bool dry_run = false;             // a rig's plan alone
  std::optional<uint16_t> model_id;
  std::optional<std::string> skip_version;
  std::optional<int> expect;  // the number of fixtures the survey must find
};

CliCommand AddFlashCommand(CLI::App& app, GlobalOptions& options, CliOutput io);

int RunFlashCommand(const FlashRequest& request, const CliConfig& config, CliOutput io);
int RunFlashAllAdapters(const FlashRequest& request, const CliConfig& config, CliOutput io);

// The run's one firmware file, read, hashed, loaded and analysed; an error when it cannot be
// flashed (a file that may be cut short is refused unless the request allows it).
Result<FirmwareFile> LoadRunFile(const FlashRequest& request);

}  // namespace quillmont::cli
