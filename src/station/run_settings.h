// SPDX-License-Identifier: Apache-2.0
// How a station run goes, the same for every adapter and every fixture of it: the line's rate,
// the pacing of the core, where the line layer's diagnostics go, what stops it early, and where
// its updates are recorded.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "app/window_pacer.h"

namespace quillmont {

class UpdateHistory;

// Asked between ticks and between fixtures: true when the run is to stop (a signal, the
// operator's abort). A running update is then aborted as the Abort button aborts it.
using StopCheck = std::function<bool()>;

struct RunSettings {
  std::string baud;                       // one of the window's rates; empty for its default
  Pacing pacing = Pacing::kEvent;         // how the core is driven between its ticks
  std::ostream* diag = nullptr;           // the line layer's diagnostic lines; null for nowhere
  StopCheck stop;                         // empty: never stopped
  std::string program = "quillmont-cli";  // the program named in the history
  UpdateHistory* history = nullptr;       // where each update is recorded; null for nowhere

  bool StopRequested() const { return stop && stop(); }
};

}  // namespace quillmont
