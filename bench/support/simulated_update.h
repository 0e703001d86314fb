// SPDX-License-Identifier: Apache-2.0
// One whole firmware update of the window core on the simulated fixture, on a virtual clock,
// run by the TickPacer as the 10 ms timer runs it (or by the EventPacer), with what it cost
// counted.
#pragma once

#include <cstdint>
#include <string>

#include "app/window_pacer.h"
#include "sim/adapter_model.h"
#include "support/line_counter.h"

namespace quillmont::bench {

struct UpdateFigures {
  bool succeeded = false;       // "VERY WELL DONE" and the flash holds the image
  uint64_t virtual_micros = 0;  // from the click on Update Firmware to the end of the update
  int64_t ticks = 0;
  uint64_t replies = 0;
  int32_t loaded_bytes = 0;
  int16_t erase_blocks = 0;
  LineCounts line;         // what crossed the line during the update
  double cpu_seconds = 0;  // process CPU time of the whole update
};

// Discovers the fixture, clicks Update Firmware with `firmware_path` and ticks until the update
// ends (at most ten virtual minutes), paced as `pacing` says, over an adapter like `model`.
UpdateFigures RunSimulatedUpdate(const std::string& firmware_path, uint32_t baud = 250000,
                                 Pacing pacing = Pacing::kTick, const AdapterModel& model = {});

// Process CPU time in seconds.
double CpuSeconds();

}  // namespace quillmont::bench
