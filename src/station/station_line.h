// SPDX-License-Identifier: Apache-2.0
// The lines of a run: each adapter's LineSet with its number in the run. A run on one line has
// one; `--all-adapters` has one for each adapter, each with its own driver and clock.
#pragma once

#include "station/line_set.h"

namespace quillmont {

struct StationLine {
  int adapter = 0;  // the line's number in the run, named in its events
  LineSet* set = nullptr;
};

}  // namespace quillmont
