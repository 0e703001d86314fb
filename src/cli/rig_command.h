// quillmont-cli flash --all-fixtures FILE: every fixture on the line updated, one after another,
// the others left in their application; with --all-adapters, every adapter's line at once.
#pragma once

#include <optional>
#include <string>

#include "cli/cli_command.h"
#include "cli/global_options.h"

namespace quillmont::cli {

struct RigOptions {
  bool all_adapters = false;
  bool dry_run = false;  // list what would be updated and why; send nothing beyond GETs
  std::optional<uint16_t> model_id;
  std::optional<std::string> skip_version;
  bool allow_unterminated = false;
};

int RunFlashAllFixtures(const std::string& path, const GlobalOptions& options,
                        const RigOptions& rig, CliOutput io);

// Where --sim-dump writes the flash of simulated fixture `fixture` (its place on its line):
// PATH.N, or PATH.A.N for adapter A when every adapter is updated.
std::string FixtureDumpPath(const std::string& path, bool all_adapters, int adapter, int fixture);

}  // namespace quillmont::cli
