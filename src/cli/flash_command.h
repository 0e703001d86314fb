// quillmont-cli flash FILE and flash --all-adapters FILE: the firmware update, on one fixture or
// on the fixture of every adapter at once (and, by rig_command.h, on every fixture of a line).
#pragma once

#include <string>

#include "cli/cli_command.h"
#include "cli/global_options.h"

namespace quillmont::cli {

CliCommand AddFlashCommand(CLI::App& app, GlobalOptions& options, CliOutput io);

// `allow_unterminated`: flash a file that may be cut short (no end record, or a count record
// that disagrees); without it such a file is refused before anything is sent.
int RunFlashCommand(const std::string& path, const GlobalOptions& options, CliOutput io,
                    bool allow_unterminated = false);
int RunFlashAllAdapters(const std::string& path, const GlobalOptions& options, CliOutput io,
                        bool allow_unterminated = false);

// Where --sim-dump writes the flash of adapter `adapter` when all adapters are updated: PATH.N.
std::string AdapterDumpPath(const std::string& path, int adapter);

}  // namespace quillmont::cli
