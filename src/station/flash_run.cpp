// SPDX-License-Identifier: Apache-2.0
#include "station/flash_run.h"

#include "station/locked_events.h"
#include "station/session.h"
#include "station/update_watch.h"

namespace quillmont {
namespace {

// A run that ended before the update began: nothing was sent to a bootloader.
FlashResult Early(Session& session, uint64_t run_start, FlashVerdict verdict, std::string detail) {
  FlashResult result;
  result.verdict = verdict;
  result.stopped = session.stopped();
  result.detail = session.stopped() ? "Nothing was flashed." : std::move(detail);
  result.uid = session.uid();
  result.seconds = static_cast<double>(session.NowMicros() - run_start) / 1e6;
  return result;
}

// Connects and reads what the fixture is; the result when the run ends there.
std::optional<FlashResult> ReachFixture(Session& session, const std::optional<RdmUid>& uid,
                                        uint64_t run_start, UpdateSubject& subject,
                                        const FixtureFacts& known) {
  if (const Status started = session.Start(); !started) {
    return Early(session, run_start, FlashVerdict::kNoAdapter, started.error().message);
  }
  const Reach reach = session.Connect(uid);
  if (session.stopped()) {
    return Early(session, run_start, FlashVerdict::kAborted, "");
  }
  if (reach == Reach::kNoAdapter) {
    return Early(session, run_start, FlashVerdict::kNoAdapter,
                 "No USB-to-RS485 adapter could be opened.");
  }
  if (reach == Reach::kNoDevice) {
    return Early(session, run_start, FlashVerdict::kNoDevice,
                 "No RDM fixture answered the discovery (only one may be connected).");
  }
  // The model and the version before the update, for the summary and the record. A
  // bootloader tells its version alone.
  subject.model = known.model;
  subject.version_before = known.version;
  if (const Result<DeviceInfo> before = session.ReadDeviceInfo(false); before) {
    if (before->has_model) {
      subject.model = before->model;
    }
    if (before->has_version) {
      subject.version_before = before->software_version;
    }
  }
  if (session.stopped()) {
    return Early(session, run_start, FlashVerdict::kAborted, "");
  }
  subject.uid = session.target_uid();
  subject.adapter = session.AdapterName();
  return std::nullopt;
}

}  // namespace

FlashResult RunFlash(LineSet& line, const FirmwareFile& file, const std::optional<RdmUid>& uid,
                     const RunSettings& settings, StationEvents& events, int adapter,
                     const FixtureFacts& known) {
  Session session(line, events, settings, adapter);
  const uint64_t run_start = session.NowMicros();
  UpdateSubject subject;
  if (std::optional<FlashResult> early = ReachFixture(session, uid, run_start, subject, known)) {
    early->total = file.loaded->loaded_count;
    events.OnFlashResult(adapter, *early);
    return std::move(*early);
  }
  UpdateWatch watch(line, file, settings, events, adapter, std::move(subject));
  watch.set_run_start(run_start);
  session.set_watcher(&watch);
  UpdaterWindow& window = session.window();
  window.StartUpdate(file.path, *file.prepared);
  session.RunUntil([&watch] { return watch.outcome().has_value(); }, file.TickBound());
  if (!watch.outcome()) {
    // Stopped: aborted as the Abort button aborts, nothing more is sent. Not ended within the
    // bound (never seen: the budgets end it long before): aborted, and told as such.
    if (!session.stopped()) {
      session.set_watcher(nullptr);
    }
    window.AbortUpdate();
  }
  session.set_watcher(nullptr);
  const bool stopped =
      session.stopped() && watch.outcome() == std::optional(UpdateOutcome::kAbortedByUser);
  FlashResult result = watch.Finish(window.job, stopped);
  events.OnFlashResult(adapter, result);
  return result;
}

std::vector<FlashResult> FlashEveryLine(std::span<const StationLine> lines,
                                        const FirmwareFile& file, const std::optional<RdmUid>& uid,
                                        const RunSettings& settings, StationEvents& events) {
  LockedEvents locked(events);
  std::vector<FlashResult> results(lines.size());
  ForEachLineAtOnce(lines.size(), [&](size_t i) {
    results[i] = RunFlash(*lines[i].set, file, uid, settings, locked, lines[i].adapter);
  });
  return results;
}

}  // namespace quillmont
