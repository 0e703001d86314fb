// quillmont-cli flash FILE and flash --all-adapters FILE: the firmware update, on one fixture or
// on the fixture of every adapter at once.
#pragma once

#include <string>

#include "cli/cli_command.h"
#include "cli/global_options.h"

namespace quillmont::cli {

CliCommand AddFlashCommand(CLI::App& app, const GlobalOptions& options, CliOutput io);

int RunFlashCommand(const std::string& path, const GlobalOptions& options, CliOutput io);
int RunFlashAllAdapters(const std::string& path, const GlobalOptions& options, CliOutput io);

// Where --sim-dump writes the flash of adapter `adapter` when all adapters are updated: PATH.N.
std::string AdapterDumpPath(const std::string& path, int adapter);

}  // namespace quillmont::cli
