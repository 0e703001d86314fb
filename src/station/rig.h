// SPDX-License-Identifier: Apache-2.0
// A rig: many fixtures on one line, each reached by its UID. The survey finds every fixture by
// full discovery and asks each where it runs (DISC_UN_MUTE, which also lifts the discovery's
// mute) and what it is (DEVICE_INFO, the model description and the software version); the
// selection chooses and orders them (fixtures in their bootloader first); then each chosen
// fixture is updated after the other while the rest stay in their application. With several
// lines, every line is surveyed and updated at once.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "rdm/uid.h"
#include "station/firmware_file.h"
#include "station/rig_fixture.h"
#include "station/run_settings.h"
#include "station/station_events.h"
#include "station/station_line.h"

namespace quillmont {

struct RigSelection {
  std::vector<RdmUid> uids;                 // only these (none: all)
  std::optional<uint16_t> model_id;         // only this model
  std::optional<std::string> skip_version;  // not those that already run it
  // The number of fixtures the survey must find on the lines, all of them together; another
  // number refuses the run before any bootloader hears a word.
  std::optional<int> expect;
};

// Why a selection may send nothing to any bootloader.
enum class RigRefusal {
  kNone,
  kNoAdapter,      // no line's adapter opened
  kNoFixture,      // the discovery found no fixture
  kNotOnLine,      // a UID of the selection is on no line
  kNoMatch,        // no fixture tells the selection's model
  kCountMismatch,  // the survey found another number of fixtures than expected
};

struct RigPlan {
  std::vector<RigEntry> entries;  // every fixture found, in the order of the run
  RigRefusal refusal = RigRefusal::kNone;
  std::string detail;    // for people, when refused
  int found = 0;         // fixtures the survey found on every line
  bool complete = true;  // every line's discovery ended because a pass found nothing new
  // A stop request ended the survey: the fixtures found so far are listed, none chosen, each
  // "not started".
  bool stopped = false;
};

// Surveys every line and plans the run: each fixture marked chosen or not with its reason, and
// with a result already for those that will not run (skipped, no answer, or with `dry_run` the
// ones that would be updated). Nothing beyond discovery and GET requests is sent; a fixture in
// its bootloader is asked for its version label alone. A stop request ends the discovery and
// the questions within a request's time. Tells events.OnSurvey unless the selection is refused
// or the survey stopped.
RigPlan PlanRig(std::span<const StationLine> lines, const RigSelection& selection, bool dry_run,
                const RunSettings& settings, StationEvents& events);

// Updates the chosen fixtures of the plan: line after line at once, fixture after fixture on each
// line, each with its OnFixtureBegins and OnFixtureResult. A stop request ends each line after
// its fixture in progress; the fixtures whose turn did not come are "not started".
void UpdateRig(std::span<const StationLine> lines, const FirmwareFile& file, RigPlan& plan,
               const RunSettings& settings, StationEvents& events);

// Marks each fixture chosen or not, with its reason, and puts them in the order of the run: by
// line, fixtures in their bootloader first (an earlier update was cut short there), then by UID,
// the ones not chosen last. A selection that names what is not there is refused.
struct RigChoice {
  RigRefusal refusal = RigRefusal::kNone;
  std::string detail;  // for people, when refused
};
RigChoice SelectRigFixtures(std::vector<RigFixture>& fixtures, const RigSelection& selection);

// Puts fixtures in the order of the run, as SelectRigFixtures does with the ones it chose.
void OrderRigFixtures(std::vector<RigFixture>& fixtures);

}  // namespace quillmont
