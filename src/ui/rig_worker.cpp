// SPDX-License-Identifier: Apache-2.0
#include "ui/rig_worker.h"

#include <QMetaObject>

#include "station/station_events.h"
#include "station/station_line.h"

namespace quillmont::ui {

// The station's events on the worker thread, each handed to the GUI thread as a queued call that
// emits the worker's signal there. A call still queued when the worker is gone is dropped.
class RigWorker::PostedEvents final : public StationEvents {
 public:
  explicit PostedEvents(RigWorker& worker) : worker_(&worker) {}

  void OnSurvey(const std::vector<RigFixture>& fixtures) override {
    Post([w = worker_, fixtures] { emit w->Surveyed(fixtures); });
  }
  void OnFixtureBegins(const RigFixture& fixture, int number, int total) override {
    last_percent_ = -1;
    Post([w = worker_, uid = QString::fromStdString(fixture.uid_text), number, total] {
      emit w->FixtureBegins(uid, number, total);
    });
  }
  // Progress comes after every request; the GUI hears of each new percent once.
  void OnProgress(int /*adapter*/, const FlashProgress& progress) override {
    if (progress.percent == last_percent_)
      return;
    last_percent_ = progress.percent;
    Post([w = worker_, percent = progress.percent] { emit w->FixtureProgress(percent); });
  }
  void OnFixtureResult(const RigFixture& fixture, const FlashResult& result) override {
    Post([w = worker_, uid = QString::fromStdString(fixture.uid_text), result] {
      emit w->FixtureResult(uid, result);
    });
  }
  void OnWarning(const std::string& text) override {
    Post([w = worker_, text = QString::fromStdString(text)] { emit w->Warning(text); });
  }

 private:
  template <typename Call>
  void Post(Call call) {
    QMetaObject::invokeMethod(worker_, std::move(call), Qt::QueuedConnection);
  }

  RigWorker* worker_;
  int last_percent_ = -1;
};

RigWorker::RigWorker(LineSet& line, RunSettings settings, QObject* parent)
    : QObject(parent),
      line_(line),
      settings_(std::move(settings)),
      events_(std::make_unique<PostedEvents>(*this)) {
  settings_.stop = [this] { return stop_.load(); };
}

RigWorker::~RigWorker() {
  stop_ = true;
  if (thread_.joinable())
    thread_.join();
}

void RigWorker::Survey() {
  Launch(false, [this](StationEvents& events) {
    const StationLine lines[] = {StationLine{0, &line_}};
    plan_ = PlanRig(lines, RigSelection{}, true, settings_, events);
  });
}

void RigWorker::Update(std::shared_ptr<const FirmwareFile> file, std::vector<RdmUid> uids) {
  Launch(true, [this, file = std::move(file), uids = std::move(uids)](StationEvents& events) {
    const StationLine lines[] = {StationLine{0, &line_}};
    RigSelection selection;
    selection.uids = uids;
    plan_ = PlanRig(lines, selection, false, settings_, events);
    if (plan_.refusal == RigRefusal::kNone && !plan_.stopped)
      UpdateRig(lines, *file, plan_, settings_, events);
  });
}

void RigWorker::Launch(bool update, std::function<void(StationEvents&)> work) {
  if (busy_)
    return;
  busy_ = true;
  updating_ = update;
  stop_ = false;
  plan_ = RigPlan{};
  thread_ = std::thread([this, update, work = std::move(work)] {
    work(*events_);
    QMetaObject::invokeMethod(
        this, [this, update] { Finish(update); }, Qt::QueuedConnection);
  });
}

// On the GUI thread, after the thread's last act: the join is at once.
void RigWorker::Finish(bool update) {
  if (thread_.joinable())
    thread_.join();
  busy_ = false;
  emit Ended(update);
}

}  // namespace quillmont::ui
