// SPDX-License-Identifier: Apache-2.0
// The one reporting channel of the station: what the window core reports (UpdaterEvents), what
// its window would show (log lines, the status line, message boxes), an update's progress with
// its times, the survey of a rig, and each run's and each fixture's result. The console text,
// the JSON document and the window's own renderings are built from it alone.
//
// Every member has an empty default, so a renderer overrides what it shows. A run on several
// adapters at once calls it from one thread at a time (LockedEvents), and every call that can
// come from such a run names its adapter: the line's number in the run, 0 when there is one.
#pragma once

#include <string>
#include <vector>

#include "app/updater_events.h"
#include "station/flash_result.h"
#include "station/rig_fixture.h"

namespace quillmont {

class StationEvents : public UpdaterEvents {
 public:
  // A line the core wrote to its log (without its CR LF); `program_request` for the line that
  // announces a program request.
  virtual void OnLogLine(int /*adapter*/, const std::string& /*line*/, bool /*program_request*/) {}
  // The window's status line changed.
  virtual void OnStatus(int /*adapter*/, const std::string& /*text*/) {}
  // What the window would show in a message box.
  virtual void OnMessageBox(int /*adapter*/, const std::string& /*text*/) {}
  // An update's progress, after every request it sends.
  virtual void OnProgress(int /*adapter*/, const FlashProgress& /*progress*/) {}
  // Something the station could not do beside the run itself (the history not written, a
  // settings line not understood): for people, never fatal.
  virtual void OnWarning(const std::string& /*text*/) {}

  // A rig surveyed and planned: every fixture found, chosen or not, in the order of the run.
  virtual void OnSurvey(const std::vector<RigFixture>& /*fixtures*/) {}
  // The update of the rig's fixture `number` of `total` on its line begins.
  virtual void OnFixtureBegins(const RigFixture& /*fixture*/, int /*number*/, int /*total*/) {}
  // How a rig's fixture's update ended.
  virtual void OnFixtureResult(const RigFixture& /*fixture*/, const FlashResult& /*result*/) {}
  // How the update of one adapter's fixture ended (flash, or one adapter of --all-adapters).
  virtual void OnFlashResult(int /*adapter*/, const FlashResult& /*result*/) {}
};

}  // namespace quillmont
