// SPDX-License-Identifier: Apache-2.0
// The options every command of quillmont-cli takes, as the parser collects them (GlobalOptions),
// and as the commands take them: read and checked once into one typed configuration (CliConfig)
// that the station and the composition root take as it is.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/window_pacer.h"
#include "base/result.h"
#include "drivers/driver_choice.h"
#include "rdm/uid.h"

namespace CLI {
class App;
}

namespace quillmont::cli {

// What the parser fills in, as typed on the command line.
struct GlobalOptions {
  DriverOptions drivers;
  std::string baud;               // one of the window's rates; empty for its default
  std::vector<std::string> uids;  // every --uid given (more than one only with --all-fixtures)
  bool all_fixtures = false;      // flash --all-fixtures: every fixture on the line
  bool json = false;              // one JSON document on standard output
  bool verbose = false;           // the line layer's diagnostic lines on standard error
  std::string sim_dump;           // where the simulated fixture's flash is written at the end
  std::string pace;  // "event" (replies taken as they come), "tick" (the 10 ms tick alone), or
                     // empty: the settings file's, event by default
  bool no_history = false;  // record nothing in the update history
};

void AddGlobalOptions(CLI::App& app, GlobalOptions& options);

// The options read and checked: what every command takes.
struct CliConfig {
  DriverConfig drivers;
  std::string baud;
  std::vector<RdmUid> uids;
  std::optional<RdmUid> uid;  // the first --uid: the fixture to talk to instead of discovering
  bool all_fixtures = false;
  bool json = false;
  bool verbose = false;
  std::string sim_dump;
  Pacing pacing = Pacing::kEvent;
  bool pace_given = false;  // --pace was given: the settings file's "pace" does not count
  bool history = true;      // --no-history and the settings file's "history = off" turn it off
};

// Reads what the parser cannot check: the rate, the UIDs, the driver and simulator options. An
// error holds the text for standard error (exit status 2).
Result<CliConfig> ReadGlobalOptions(const GlobalOptions& options);

}  // namespace quillmont::cli
