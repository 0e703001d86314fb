// SPDX-License-Identifier: Apache-2.0
// One firmware update watched from its start to its end, whoever drives the core (a session's
// pacer, or the window's own timer): its progress with its times for the run's events, its log,
// and at the end its typed result, checked against the simulated fixture's flash and recorded in
// the update history.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rdm/uid.h"
#include "station/firmware_file.h"
#include "station/flash_result.h"
#include "station/line_set.h"
#include "station/run_settings.h"
#include "station/station_events.h"
#include "update/update_job.h"

namespace quillmont {

// Who and what an update is about, as known when it starts.
struct UpdateSubject {
  RdmUid uid{};
  std::string model;           // "" when the fixture did not tell it
  std::string version_before;  // "" when the fixture did not tell it
  std::string adapter;         // the adapter's name
};

class UpdateWatch final : public StationEvents {
 public:
  // Watches the update of `file` that starts now, on `line`, reporting to `events` as adapter
  // `adapter` of the run. Everything given must outlive the watch.
  UpdateWatch(LineSet& line, const FirmwareFile& file, const RunSettings& settings,
              StationEvents& events, int adapter, UpdateSubject subject);

  // The run's start, for its time: the watch's own start unless given earlier.
  void set_run_start(uint64_t micros) { run_start_ = micros; }

  void OnUpdateProgress(const UpdateProgress& progress) override;
  void OnUpdateEnded(UpdateOutcome outcome) override;
  void OnLogLine(int adapter, const std::string& line, bool program_request) override;

  const std::optional<UpdateOutcome>& outcome() const { return outcome_; }

  // The typed result of the update that `job` ran, once it has ended (or never ended: `outcome()`
  // empty), with the version the new application told and the job's words for its end. An update
  // aborted after its start request went out is "start requested, not confirmed", not "aborted":
  // the fixture may well run its new application. An update that ran on a fixture is recorded in
  // the history (when the run has one); a record that cannot be written is a warning.
  FlashResult Finish(const UpdateJob& job, bool stopped);

 private:
  void Verdict(FlashResult& result, const UpdateEnd& end);
  void Record(const FlashResult& result);

  LineSet& line_;
  const FirmwareFile& file_;
  const RunSettings& settings_;
  StationEvents& events_;
  int adapter_;
  UpdateSubject subject_;
  uint64_t run_start_;
  uint64_t started_;
  uint64_t program_started_ = 0;
  int64_t sent_ = 0;
  int64_t shown_sent_ = -1;
  int shown_percent_ = -1;
  std::string step_;
  bool start_requested_ = false;  // the request to start the new application went out
  std::vector<std::string> log_;
  std::optional<UpdateOutcome> outcome_;
};

}  // namespace quillmont
