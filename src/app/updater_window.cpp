// SPDX-License-Identifier: Apache-2.0
#include "app/updater_window.h"

#include "app/baud_list.h"
#include "app/settings_text.h"
#include "rdm/message.h"

namespace quillmont {

UpdaterWindow::UpdaterWindow(WindowPort& port, D2xxDriver& driver, Clock& clock, std::ostream& diag)
    : port_(port), io_{driver, clock, diag} {}

bool UpdaterWindow::OnInit() {
  // The controls start out with the empty bound texts.
  ShowTexts();

  for (const char* rate : kBaudList) {
    port_.ComboAddString(kBaudCombo, rate);
  }
  SetBaudText(baud_text, kDefaultBaudText);
  target_uid = kInitialTargetUid;
  subdevice_number = 0;
  dmx_address_text = std::to_string(0);

  LoadSettings();  // a missing file keeps the default rate
  const int selected = port_.ComboFindStringExact(kBaudCombo, BaudTextString(baud_text));
  if (selected >= 0) {
    port_.ComboSetCurSel(kBaudCombo, selected);
  }

  uid_text = FormatUid(target_uid);
  job.Reset();
  device_found = 0;
  ShowTexts();

  // The progress bar is drawn in the strip just above the log pane.
  UpdateProgressRect();

  link = nullptr;
  busy = 0;
  next_device_index = 0;
  rx_length = 0;
  countdown = 0;

  timer_id = port_.StartTimer(kTickTimerId, kTickPeriodMs);
  return true;
}

void UpdaterWindow::ShowTexts() {
  port_.SetControlText(kUidEdit, uid_text);
  port_.SetControlText(kLogPane, log_text);
  port_.SetControlText(kDmxAddressEdit, dmx_address_text);
}

void UpdaterWindow::ReadTexts() {
  uid_text = port_.GetControlText(kUidEdit);
  log_text = port_.GetControlText(kLogPane);
  dmx_address_text = port_.GetControlText(kDmxAddressEdit);
}

void UpdaterWindow::AppendLog(const std::string& text) {
  log_text += text;
  log_text += "\r\n";
  ShowTexts();
  port_.ScrollLogToEnd();
  events_->OnLogAppended(text);
}

void UpdaterWindow::SetUpdateCaption(const std::string& caption) {
  port_.SetControlText(kUpdateButton, caption);
}

void UpdaterWindow::Beep() {
  port_.Beep();
}

void UpdaterWindow::ShowMessageBox(const std::string& text) {
  port_.ShowMessageBox(text);
}

void UpdaterWindow::ReportProgress(const UpdateProgress& progress) {
  events_->OnUpdateProgress(progress);
}

void UpdaterWindow::ReportOutcome(UpdateOutcome outcome) {
  events_->OnUpdateEnded(outcome);
  if (desktop_window) {
    PresentUpdateEnd(outcome);
  }
  // The model and version shown before the update are stale now. An abort and an exhausted
  // budget send nothing more, so their labels are only cleared; once the verification has
  // heard the fixture (its new application, or its bootloader) it is asked again.
  if (outcome == UpdateOutcome::kNoDevice) {
    return;
  }
  ClearDeviceLabels();
  const bool heard =
      outcome == UpdateOutcome::kSuccess || outcome == UpdateOutcome::kStaysInBootloader;
  ask_model_after_update_ = heard ? 2 : 0;
  relabel_bootloader_ = outcome == UpdateOutcome::kStaysInBootloader;
}

void UpdaterWindow::ClearDeviceLabels() {
  port_.SetControlText(kModelLabel, "");
  port_.SetControlText(kVersionLabel, "");
}

void UpdaterWindow::OnSystemCommand(int command) {
  if ((command & ~0xF) == kAboutCommand) {
    port_.ShowAboutBox();
  } else {
    port_.DefaultSystemCommand(command);
  }
}

// The window ends in three ways; none of them touches the link. While an update runs, each asks
// first: leaving would strand the fixture in its bootloader.

bool UpdaterWindow::MayEndWindow() {
  if (!job.running()) {
    return true;
  }
  // Ticks go on while the question is open; when the update ends meanwhile, the question closes
  // itself (as No) and the window stays, so that the operator sees how it ended.
  asking_about_update_ = true;
  const bool abort = port_.AskYesNo(kAbortAndExitQuestion);
  asking_about_update_ = false;
  if (!abort) {
    return false;
  }
  ending_window_ = true;  // no box about the abort: the window ends
  AbortUpdate();
  ending_window_ = false;
  pending_end_box_.reset();
  return true;
}

void UpdaterWindow::OnClose() {
  if (!MayEndWindow()) {
    return;
  }
  ReadTexts();
  SaveSettings();
  port_.StopTimer(timer_id);
  port_.EndDialog(kResultCancel);
}

void UpdaterWindow::OnExitButton() {
  if (!MayEndWindow()) {
    return;
  }
  ReadTexts();
  port_.EndDialog(kResultOk);
}

void UpdaterWindow::OnCancel() {
  if (!MayEndWindow()) {
    return;
  }
  port_.EndDialog(kResultCancel);
}

bool UpdaterWindow::LendLine() {
  if (job.running()) {
    return false;
  }
  if (link != nullptr) {
    CloseLink();
  }
  device_found = 0;
  rx_length = 0;
  countdown = 0;
  ask_model_after_update_ = 0;
  ClearDeviceLabels();
  port_.SetControlText(kStatusLine, "Not Connected: the Rig dialog has the line.");
  line_lent_ = true;
  return true;
}

void UpdaterWindow::ReturnLine() {
  line_lent_ = false;
  countdown = 0;
  port_.SetControlText(kStatusLine, "Not Connected");
}

}  // namespace quillmont
