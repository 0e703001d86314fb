// SPDX-License-Identifier: Apache-2.0
// The Rig dialog's worker: the station's survey and rig update, run on a thread of their own on
// a line the window has lent, so that the GUI thread never waits on the line. The station's
// events are handed to the GUI thread as queued calls and come out as this object's signals
// there; no widget is touched from the worker.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "rdm/uid.h"
#include "station/firmware_file.h"
#include "station/line_set.h"
#include "station/rig.h"
#include "station/run_settings.h"

namespace quillmont::ui {

class RigWorker : public QObject {
  Q_OBJECT

 public:
  // `settings` as the window's updates run (history, program name); the stop check is the
  // worker's own. `line` must outlive the worker.
  RigWorker(LineSet& line, RunSettings settings, QObject* parent = nullptr);
  // Stops a run still under way and waits for its thread (the dialog waits for Ended first).
  ~RigWorker() override;
  RigWorker(const RigWorker&) = delete;
  RigWorker& operator=(const RigWorker&) = delete;

  // A run is under way (from its start until Ended is emitted).
  bool busy() const { return busy_; }
  // The run under way is an update (not a survey).
  bool updating() const { return busy_ && updating_; }

  // Surveys the line: full discovery, then what each fixture is and where it runs.
  void Survey();
  // Surveys the line again and updates the fixtures of `uids` with `file`, one after the other,
  // those in their bootloader first.
  void Update(std::shared_ptr<const FirmwareFile> file, std::vector<RdmUid> uids);
  // Asks the run to stop: the survey ends within a request's time; the fixture under way stops
  // as the station stops it, and the rest are not started.
  void Stop() { stop_ = true; }
  bool stop_requested() const { return stop_; }

  // The plan of the run that ended last: every fixture found, with its result after an update.
  const RigPlan& plan() const { return plan_; }

 signals:
  void FixtureBegins(const QString& uid, int number, int total);
  void FixtureProgress(int percent);
  void FixtureResult(const QString& uid, const quillmont::FlashResult& result);
  void Warning(const QString& text);
  // The survey of an update's run planned these fixtures, in the order of the run.
  void Surveyed(const std::vector<quillmont::RigFixture>& fixtures);
  // The run ended and its thread is joined; plan() holds what it came to.
  void Ended(bool update);

 private:
  class PostedEvents;
  void Launch(bool update, std::function<void(StationEvents&)> work);
  void Finish(bool update);

  LineSet& line_;
  RunSettings settings_;
  std::atomic<bool> stop_{false};
  bool busy_ = false;
  bool updating_ = false;
  RigPlan plan_;  // written by the thread, read once it is joined
  std::unique_ptr<PostedEvents> events_;
  std::thread thread_;
};

}  // namespace quillmont::ui
