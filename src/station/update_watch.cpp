// SPDX-License-Identifier: Apache-2.0
#include "station/update_watch.h"

#include <cstdio>
#include <filesystem>

#include "rdm/fixture_text.h"
#include "station/history.h"
#include "station/user_folders.h"
#include "update/update_job.h"

namespace quillmont {
namespace {

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "$%05X", static_cast<unsigned>(value));
  return text;
}

bool IsProgramStep(UpdateState step) {
  return step == UpdateState::kProgramChunks || step == UpdateState::kWriteSignature;
}

FlashVerdict VerdictOf(UpdateOutcome outcome) {
  switch (outcome) {
    case UpdateOutcome::kSuccess:
      return FlashVerdict::kSuccess;
    case UpdateOutcome::kNoDevice:
      return FlashVerdict::kNoDevice;
    case UpdateOutcome::kStartUnanswered:
      return FlashVerdict::kStartUnanswered;
    case UpdateOutcome::kStartRefused:
      return FlashVerdict::kStartRefused;
    case UpdateOutcome::kStaysInBootloader:
      return FlashVerdict::kStaysInBootloader;
    case UpdateOutcome::kNoAnswerAfterStart:
      return FlashVerdict::kNoAnswerAfterStart;
    case UpdateOutcome::kAbortedByUser:
    case UpdateOutcome::kAttemptsExhausted:
    case UpdateOutcome::kAdapterLost:
      break;
  }
  return FlashVerdict::kAborted;
}

// The file as the record names it: a path that still means the same file later.
std::string RecordedPath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : PathText(absolute.lexically_normal());
}

}  // namespace

UpdateWatch::UpdateWatch(LineSet& line, const FirmwareFile& file, const RunSettings& settings,
                         StationEvents& events, int adapter, UpdateSubject subject)
    : line_(line),
      file_(file),
      settings_(settings),
      events_(events),
      adapter_(adapter),
      subject_(std::move(subject)),
      run_start_(line.clock().NowMicros()),
      started_(run_start_) {}

void UpdateWatch::OnUpdateProgress(const UpdateProgress& progress) {
  sent_ = progress.sent;
  if (progress.step == UpdateState::kStartUserProgram ||
      progress.step == UpdateState::kVerifyStart) {
    start_requested_ = true;
  }
  const uint64_t now = line_.clock().NowMicros();
  if (IsProgramStep(progress.step) && program_started_ == 0) {
    program_started_ = now;
  }
  // A request that sends no program bytes can still complete the share written: the start
  // request is the first report after the signature's acknowledgement.
  if (progress.sent == shown_sent_ && progress.Percent() == shown_percent_) {
    return;
  }
  shown_sent_ = progress.sent;
  shown_percent_ = progress.Percent();
  FlashProgress shown;
  shown.sent = progress.sent;
  shown.total = progress.total;
  shown.written = progress.written;
  shown.to_write = progress.to_write;
  shown.percent = shown_percent_;
  shown.micros = now - started_;
  shown.program_micros = program_started_ == 0 ? 0 : now - program_started_;
  shown.step = step_;
  events_.OnProgress(adapter_, shown);
}

void UpdateWatch::OnUpdateEnded(UpdateOutcome outcome) {
  outcome_ = outcome;
}

void UpdateWatch::OnLogLine(int /*adapter*/, const std::string& line, bool /*program_request*/) {
  log_.push_back(line);
  if (!line.empty()) {
    step_ = line;
  }
}

FlashResult UpdateWatch::Finish(const UpdateJob& job, bool stopped) {
  FlashResult result;
  result.uid = FormatUid(subject_.uid);
  result.model = subject_.model;
  result.adapter = subject_.adapter;
  result.version_before = subject_.version_before;
  result.version_after = job.started_version();
  result.total = file_.loaded->loaded_count;
  result.sent = sent_;
  result.stopped = stopped;
  result.log = log_;
  Verdict(result, job.end());
  result.seconds = static_cast<double>(line_.clock().NowMicros() - run_start_) / 1e6;
  result.updated = outcome_.has_value() && *outcome_ != UpdateOutcome::kNoDevice;
  if (result.updated) {
    Record(result);
  }
  return result;
}

void UpdateWatch::Verdict(FlashResult& result, const UpdateEnd& end) {
  if (!outcome_) {
    // Never seen: the procedure's attempt budgets end it long before the bound.
    result.verdict = FlashVerdict::kAborted;
    result.detail = "The update did not end in time.";
    return;
  }
  result.verdict = VerdictOf(*outcome_);
  result.detail =
      end.outcome == *outcome_ && !end.what.empty() ? end.what : UpdateOutcomeText(*outcome_);
  if (*outcome_ == UpdateOutcome::kAbortedByUser && start_requested_) {
    result.verdict = FlashVerdict::kStartNotConfirmed;
    result.detail =
        "The request to start the new application was sent, then the update was stopped before "
        "the fixture was heard: it may run its new application or still be in its bootloader.";
    return;
  }
  if (*outcome_ != UpdateOutcome::kSuccess || !line_.simulated()) {
    return;
  }
  const Result<std::optional<uint32_t>> compared =
      line_.CompareFixtureFlash(subject_.uid, *file_.loaded);
  if (!compared) {
    return;
  }
  result.flash_checked = true;
  if (*compared) {
    result.verdict = FlashVerdict::kFlashMismatch;
    result.detail = "The fixture reported success but its flash differs from the image at " +
                    Hex(**compared) + ".";
    return;
  }
  result.detail =
      "The fixture answers from its new application, and the simulated fixture's flash holds "
      "the image.";
  if (const std::string note = IncompleteFileNote(file_.loaded->file_ending); !note.empty()) {
    result.detail += " " + note;
  }
}

void UpdateWatch::Record(const FlashResult& result) {
  if (settings_.history == nullptr) {
    return;
  }
  HistoryRecord record;
  record.program = settings_.program;
  record.adapter = result.adapter;
  record.uid = result.uid;
  // A fixture's texts are Latin-1: recorded as the letters they stand for.
  record.model = JsonText(result.model);
  record.version_before = JsonText(result.version_before);
  record.version_after = JsonText(result.version_after);
  record.file = RecordedPath(file_.path);
  record.sha256 = file_.sha256;
  record.result = VerdictName(result.verdict);
  record.detail = result.detail;
  record.seconds = result.seconds;
  record.simulated = line_.simulated();
  if (const Status written = settings_.history->Append(std::move(record)); !written) {
    events_.OnWarning(written.error().message);
  }
}

}  // namespace quillmont
