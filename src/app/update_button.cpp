// SPDX-License-Identifier: Apache-2.0
// The firmware update's start and abort (UpdateButton), the window's file reader, and the
// progress bar.
#include <algorithm>
#include <array>
#include <cstdint>

#include "app/updater_window.h"
#include "update/image_analysis.h"
#include "update/srec2.h"
#include "update/update_job.h"

namespace quillmont {
namespace {

// The receive side is emptied before an update starts; a line that never falls quiet must not
// hang the window, so the drain stops after as many reads as discovery's drain allows.
constexpr int kStartDrainReads = 200;

}  // namespace

void UpdaterWindow::OnUpdateButton() {
  const bool uid_taken = ApplyTypedUid() == static_cast<int16_t>(target_uid.size());

  if (job.running()) {
    job.Abort();
    return;
  }
  if (!uid_taken) {
    return;  // "Invalid RDM ID." was shown; no update starts to a UID nobody meant
  }

  const std::optional<std::string> path = port_.OpenFileDialog(FileDialogRequest{});
  if (!path) {
    return;
  }
  port_.Invalidate();
  LogUpdateHeader(*path);
  AppendLog("Reading " + *path);
  const PreparedFirmware* firmware = PrepareChosenFile(*path);
  if (firmware == nullptr) {
    return;
  }
  LogAnalysis(*firmware);
  if (ConfirmDoubtfulFile(*firmware)) {
    BeginUpdate(*firmware);
  }
}

void UpdaterWindow::OnUpdateButtonKey() {
  if (!job.running()) {
    OnUpdateButton();
    return;
  }
  // Ticks go on while the question is open; the update may end meanwhile, and the question with
  // it.
  asking_about_update_ = true;
  const bool abort = port_.AskYesNo(kAbortUpdateQuestion);
  asking_about_update_ = false;
  if (abort) {
    AbortUpdate();
  }
}

// A file that may be cut short, or one without signature (the fixture stays in its bootloader),
// is flashed only when the operator says so; No is the default.
bool UpdaterWindow::ConfirmDoubtfulFile(const PreparedFirmware& firmware) {
  std::string doubts;
  if (firmware.image.file_ending != FileEnding::kComplete) {
    doubts = FileEndingText(firmware.image.file_ending);
    AppendLog(doubts);
  }
  if (!firmware.analysis.HasSignature()) {
    doubts += doubts.empty() ? "" : "\n\n";
    doubts += kNoSignatureWarning;
  }
  if (doubts.empty()) {
    return true;
  }
  if (!port_.AskYesNo(doubts + "\n\n" + kFlashAnywayQuestion)) {
    AppendLog("Not flashed.");
    return false;
  }
  return true;
}

void UpdaterWindow::LogUpdateHeader(const std::string& path) {
  const std::string time = port_.LocalTimeText();
  if (time.empty()) {
    return;
  }
  const size_t slash = path.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  AppendLog("--- " + time + "  " + name + " ---");
}

void UpdaterWindow::LogAnalysis(const PreparedFirmware& firmware) {
  AppendLog(FormatAnalysisLog(firmware.analysis, firmware.plan));
  if (!firmware.analysis.HasSignature()) {
    AppendLog(kNoSignatureWarning);
  }
}

const PreparedFirmware* UpdaterWindow::PrepareChosenFile(const std::string& path) {
  const std::optional<std::vector<uint8_t>> bytes = ReadChosenFile(path);
  if (!bytes) {
    return nullptr;
  }
  if (firmware_source_ != nullptr) {
    const Result<const PreparedFirmware*> prepared = firmware_source_->Prepare(path, *bytes);
    if (!prepared) {
      AppendLog(prepared.error().message);
      port_.ShowMessageBox(prepared.error().message);
      return nullptr;
    }
    return *prepared;
  }
  if (LoadChosenBytes(*bytes) == 0 || image.loaded_count == 0) {
    return nullptr;
  }
  own_firmware_ = PrepareFirmware(image);
  return own_firmware_.get();
}

bool UpdaterWindow::StartUpdate(const std::string& path, const PreparedFirmware& firmware) {
  if (job.running()) {
    return false;
  }
  port_.Invalidate();
  LogUpdateHeader(path);
  AppendLog("Reading " + path);
  if (firmware.image.loaded_count == 0) {
    return false;
  }
  LogAnalysis(firmware);
  return BeginUpdate(firmware);
}

bool UpdaterWindow::StartUpdate(const std::string& path, const FirmwareImage& loaded) {
  return StartUpdate(path, *PrepareFirmware(loaded));
}

void UpdaterWindow::AbortUpdate() {
  if (job.running()) {
    job.Abort();
  }
}

bool UpdaterWindow::BeginUpdate(const PreparedFirmware& firmware) {
  image = firmware.image;
  analysis = firmware.analysis;
  erase_plan = firmware.plan;

  if (const Status started = job.Start(); !started) {
    AppendLog(started.error().message);
    port_.ShowMessageBox(started.error().message);
    return false;
  }
  awaited_.reset();  // the update's requests take the line over
  program_started_micros_ = 0;
  if (desktop_window) {
    // Off the button that now reads "Abort Operation": a second Enter must not abort.
    port_.FocusControl(kLogPane);
    if (receive_between_ticks) {
      port_.StartTimer(kLineWatchTimerId, kLineWatchPeriodMs);
    }
  }

  // Until the line stays quiet for a poll: a reply still on its way (the address the last
  // label asked for) is taken too. The drained bytes go to a scratch buffer, and a frame the
  // receiver had begun (the echo of that request, read between ticks) is dropped with them:
  // its rest is among them, and the first reply of the update starts a frame of its own.
  std::array<uint8_t, 256> drained{};
  const auto read_something = [this, &drained] {
    const Result<int> got = ReadWithTimeout(io_, link, drained.data(), 256, kPollMs);
    return got && *got > 0;
  };
  for (int reads = 0; read_something(); ++reads) {
    if (reads + 1 == kStartDrainReads) {
      AppendLog("The line did not fall quiet; starting all the same.");
      break;
    }
  }
  rx_length = 0;
  return true;
}

// A file that cannot be read keeps the window's own words in the box, "Unable to read file.",
// and the reason ("Cannot read fw.srec2: no such file") in the log; the image stays as it was.
std::optional<std::vector<uint8_t>> UpdaterWindow::ReadChosenFile(const std::string& path) {
  Result<std::vector<uint8_t>> bytes = ReadFirmwareFile(path);
  if (!bytes) {
    AppendLog(bytes.error().message);
    port_.ShowMessageBox(kUnableToReadFileMessage);
    return std::nullopt;
  }
  return std::move(*bytes);
}

// Why a file loads nothing goes to the log and to a message box.
int UpdaterWindow::LoadChosenBytes(std::span<const uint8_t> bytes) {
  const auto tell = [this](const std::string& text) {
    AppendLog(text);
    port_.ShowMessageBox(text);
  };
  if (const Result<Srec2Stats> loaded = LoadSrec2Bytes(bytes, image); !loaded) {
    tell(loaded.error().message);
    return 0;
  }
  if (image.loaded_count == 0) {
    tell(kNoDataRecordsMessage);
  }
  return 1;
}

int UpdaterWindow::LoadSrec2File(const std::string& path) {
  const std::optional<std::vector<uint8_t>> bytes = ReadChosenFile(path);
  return bytes ? LoadChosenBytes(*bytes) : 0;
}

void UpdaterWindow::DrawProgressBar() {
  if (desktop_window) {
    DrawDesktopProgress();
    return;
  }
  const int64_t total = image.loaded_count;
  if (total <= 0) {
    return;
  }
  const int64_t sent = std::max<int64_t>(job.sent_count(), 0);
  const int64_t v = std::min<int64_t>(sent * 255 / total, 255);
  const int32_t left = progress_rect.left;
  const int32_t right = progress_rect.right;
  int64_t w = static_cast<int64_t>(right - left) * sent / total;
  if (left + w > right) {
    w = right - left;
  }
  const Rgb pen{255, 255, 255};
  const Rgb brush{static_cast<uint8_t>(255 - v), static_cast<uint8_t>(v), 0};
  port_.FillRect(Rect{left, progress_rect.top, static_cast<int32_t>(left + w),
                      progress_rect.top + kProgressBarPixels},
                 pen, brush);
}

}  // namespace quillmont
