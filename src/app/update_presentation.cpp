// SPDX-License-Identifier: Apache-2.0
// How a desktop window shows a firmware update to the operator watching it: the bar with its
// percent, bytes and time left while the update runs, and at its end the outcome in the status
// line, the bar in the colour of the outcome, and one box that says what happened and what to do
// next. Only an answer from the new application is shown as a success.
#include <algorithm>
#include <cstdio>
#include <string>

#include "app/updater_window.h"
#include "update/update_job.h"

namespace quillmont {
namespace {

constexpr Rgb kBarPen{255, 255, 255};
constexpr Rgb kRunningBrush{48, 120, 208};  // neither the success's green nor the failure's red
constexpr Rgb kSuccessBrush{0, 255, 0};
constexpr Rgb kFailureBrush{208, 0, 0};
// The time left is told once programming has run this long (before, the rate means little).
constexpr uint64_t kLeastMicrosForRate = 500000;

// "0:04", "12:31", "1:02:03".
std::string Duration(uint64_t seconds) {
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%u:%02u:%02u", static_cast<unsigned>(seconds / 3600),
                  static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(seconds / 60),
                  static_cast<unsigned>(seconds % 60));
  }
  return text;
}

// "64 %  7680 / 11936 bytes".
std::string Share(int64_t written, int64_t total) {
  const int64_t percent = total > 0 ? std::min<int64_t>(written * 100 / total, 100) : 0;
  return std::to_string(percent) + " %  " + std::to_string(written) + " / " +
         std::to_string(total) + " bytes";
}

// The status line at an update's end.
const char* EndStatus(UpdateOutcome outcome) {
  switch (outcome) {
    case UpdateOutcome::kSuccess:
      return "Updated: the fixture answers from its new application.";
    case UpdateOutcome::kAbortedByUser:
      return "Update aborted by the operator.";
    case UpdateOutcome::kNoDevice:
      return "Update not started: no fixture is known.";
    case UpdateOutcome::kAttemptsExhausted:
      return "Update aborted: the fixture stopped answering.";
    case UpdateOutcome::kAdapterLost:
      return "Update aborted: the adapter was lost.";
    case UpdateOutcome::kStartUnanswered:
      return "Update failed: the start was not acknowledged.";
    case UpdateOutcome::kStartRefused:
      return "Update failed: the bootloader refused the start.";
    case UpdateOutcome::kStaysInBootloader:
      return "Update failed: the fixture is still in its bootloader.";
    case UpdateOutcome::kNoAnswerAfterStart:
      return "Update failed: no answer after the start.";
  }
  return "";
}

}  // namespace

void UpdaterWindow::UpdateProgressRect() {
  // The strip above the log pane, as wide as the pane is now (a desktop window may be resized).
  progress_rect = port_.GetControlRect(kLogPane);
  progress_rect.top -= kProgressStripPixels;
}

void UpdaterWindow::DrawDesktopProgress() {
  const int64_t total = job.program_total();
  if (total <= 0) {
    return;
  }
  const uint64_t now = io_.clock.NowMicros();
  if (program_started_micros_ == 0) {
    program_started_micros_ = now;
  }
  const int64_t written = std::clamp<int64_t>(job.written_count(), 0, total);
  UpdateProgressRect();
  const int64_t width = progress_rect.right - progress_rect.left;
  port_.FillRect(Rect{progress_rect.left, progress_rect.top,
                      static_cast<int32_t>(progress_rect.left + width * written / total),
                      progress_rect.top + kProgressBarPixels},
                 kBarPen, kRunningBrush);
  std::string text = Share(written, total);
  const uint64_t elapsed = now - program_started_micros_;
  if (written > 0 && elapsed >= kLeastMicrosForRate) {
    const auto left_micros =
        static_cast<uint64_t>(static_cast<double>(elapsed) * (total - written) / written);
    text += "  " + Duration((left_micros + 999999) / 1000000) + " left";
  }
  port_.SetProgressText(text);
}

void UpdaterWindow::DrawEndBar(bool success) {
  UpdateProgressRect();
  port_.FillRect(Rect{progress_rect.left, progress_rect.top, progress_rect.right,
                      progress_rect.top + kProgressBarPixels},
                 kBarPen, success ? kSuccessBrush : kFailureBrush);
  const int64_t total = job.program_total();
  const int64_t written = std::clamp<int64_t>(job.written_count(), 0, std::max<int64_t>(total, 0));
  const uint64_t elapsed =
      program_started_micros_ == 0 ? 0 : io_.clock.NowMicros() - program_started_micros_;
  if (success) {
    port_.SetProgressText("Done: " + std::to_string(written) + " bytes in " +
                          Duration((elapsed + 500000) / 1000000));
  } else {
    port_.SetProgressText(total > 0 ? "Not updated: " + Share(written, total) + " written"
                                    : "Not updated");
  }
}

void UpdaterWindow::PresentUpdateEnd(UpdateOutcome outcome) {
  port_.StopTimer(kLineWatchTimerId);
  if (asking_about_update_) {
    port_.CloseQuestion();  // what it asked about is over
  }
  port_.SetControlText(kStatusLine, EndStatus(outcome));
  if (outcome == UpdateOutcome::kNoDevice) {
    return;  // the procedure's own box says so; nothing was drawn
  }
  DrawEndBar(outcome == UpdateOutcome::kSuccess);
  const UpdateEnd& end = job.end();
  // A plain success is told by its line and its beep; every other end by one box, unless the
  // window is ending.
  if (ending_window_ || (outcome == UpdateOutcome::kSuccess && end.next.empty())) {
    return;
  }
  pending_end_box_ = end.next.empty() ? end.what : end.what + "\n\n" + end.next;
}

}  // namespace quillmont
