// The options every command of quillmont-cli takes: the driver choice, the line's rate, a
// typed UID, the output form and the simulator.
#pragma once

#include <string>
#include <vector>

#include "app/window_pacer.h"
#include "base/result.h"
#include "drivers/driver_choice.h"

namespace CLI {
class App;
}

namespace quillmont::cli {

struct GlobalOptions {
  DriverOptions drivers;
  std::string baud;               // one of the window's rates; empty for its default
  std::string uid;                // "XX XX XX XX XX XX"; empty to discover
  std::vector<std::string> uids;  // every --uid given (more than one only with --all-fixtures)
  bool all_fixtures = false;      // flash --all-fixtures: every fixture on the line
  bool json = false;              // one JSON document on standard output
  bool verbose = false;           // the line layer's diagnostic lines on standard error
  std::string sim_dump;           // where the simulated fixture's flash is written at the end
  std::string pace = "event";     // "event" (replies taken as they come) or "tick" (the window's)

  Pacing pacing() const { return pace == "tick" ? Pacing::kTick : Pacing::kEvent; }
};

void AddGlobalOptions(CLI::App& app, GlobalOptions& options);

// Takes what the parser collected into the fields the commands read (the first --uid).
void FinishGlobalOptions(GlobalOptions& options);

// Checks what the parser cannot: the rate, the UID, the driver and simulator options. An error
// holds the text for standard error (exit status 2).
Status CheckGlobalOptions(const GlobalOptions& options);

}  // namespace quillmont::cli
