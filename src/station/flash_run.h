// SPDX-License-Identifier: Apache-2.0
// One firmware update on one line, run to its end: the window core's own procedure, started as
// the Update button starts it with the run's one firmware file and pumped by the pacer until it is
// idle again. `flash`, each adapter of `--all-adapters` and each fixture of a rig run this.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "rdm/uid.h"
#include "station/firmware_file.h"
#include "station/flash_result.h"
#include "station/line_set.h"
#include "station/run_settings.h"
#include "station/station_events.h"
#include "station/station_line.h"

namespace quillmont {

// What is already known of a fixture (a rig's survey asked it): kept where the fixture does not
// tell it again before its update.
struct FixtureFacts {
  std::string model;
  std::string version;
};

// Finds the fixture (the window's discovery, or `uid` as a typed UID), reads its model and
// version, updates it with `file` and tells the typed result (also through
// events.OnFlashResult). An update that ran on the fixture is recorded in the run's history.
FlashResult RunFlash(LineSet& line, const FirmwareFile& file, const std::optional<RdmUid>& uid,
                     const RunSettings& settings, StationEvents& events, int adapter = 0,
                     const FixtureFacts& known = {});

// One update on every line at once, each on its own thread with its own core, the events handed
// to `events` one at a time. One failing adapter does not stop the others. The results in the
// order of `lines`.
std::vector<FlashResult> FlashEveryLine(std::span<const StationLine> lines,
                                        const FirmwareFile& file, const std::optional<RdmUid>& uid,
                                        const RunSettings& settings, StationEvents& events);

// Runs `work(i)` for every i below `count`: on a thread each when there are several.
template <typename Work>
void ForEachLineAtOnce(size_t count, const Work& work);

}  // namespace quillmont

#include "station/flash_run_inl.h"
