// SPDX-License-Identifier: Apache-2.0
// What a command hands the station for its run: the rate, the pacing and the line layer's
// diagnostics from the options, a stop when a signal comes, and the update history when updates
// are recorded.
#pragma once

#include <memory>

#include "cli/cli_command.h"
#include "station/history.h"
#include "station/run_settings.h"

namespace quillmont::cli {

class StationRun {
 public:
  // `record`: the run's updates go to the user's history (unless the options turned it off); a
  // history that cannot be kept is a warning on standard error.
  StationRun(const CliConfig& config, CliOutput io, bool record = false);

  const RunSettings& settings() const { return settings_; }

 private:
  std::unique_ptr<UpdateHistory> history_;
  RunSettings settings_;
};

// The user's history file, or why there is none.
Result<std::filesystem::path> HistoryFile();

}  // namespace quillmont::cli
