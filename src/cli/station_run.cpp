// SPDX-License-Identifier: Apache-2.0
#include "cli/station_run.h"

#include "cli/interrupt.h"
#include "station/user_folders.h"

namespace quillmont::cli {

Result<std::filesystem::path> HistoryFile() {
  const Result<std::filesystem::path> folder = UserDataFolder();
  if (!folder) {
    return folder.error();
  }
  return *folder / kHistoryFileName;
}

StationRun::StationRun(const CliConfig& config, CliOutput io, bool record) {
  settings_.baud = config.baud;
  settings_.pacing = config.pacing;
  // Why a real adapter did not open goes to standard error also without --verbose; the line
  // layer's own lines only with it.
  settings_.diag = config.verbose ? &io.err : nullptr;
  settings_.stop = [] { return PendingInterrupt() != 0; };
  settings_.program = "quillmont-cli";
  if (!record || !config.history) {
    return;
  }
  if (const Result<std::filesystem::path> file = HistoryFile(); file) {
    history_ = std::make_unique<UpdateHistory>(*file);
    settings_.history = history_.get();
  } else {
    io.err << "The update history is not kept: " << file.error().message << '\n';
  }
}

}  // namespace quillmont::cli
