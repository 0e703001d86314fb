// SPDX-License-Identifier: Apache-2.0
#include "station/window_station.h"

#include "rdm/message.h"

namespace quillmont {

WindowStation::WindowStation(LineSet& line, const RunSettings& settings, StationEvents& events)
    : line_(line), settings_(settings), events_(events) {}

WindowStation::~WindowStation() {
  Detach();
}

void WindowStation::Attach(UpdaterWindow& window) {
  Detach();
  window_ = &window;
  opened_adapter_ = window.link != nullptr ? window.next_device_index : -1;
  window.set_firmware_source(this);
  window.set_events(this);
}

void WindowStation::Detach() {
  if (window_ != nullptr) {
    window_->set_firmware_source(nullptr);
    window_->set_events(nullptr);
    window_ = nullptr;
  }
}

Result<const PreparedFirmware*> WindowStation::Prepare(const std::string& path,
                                                       std::span<const uint8_t> bytes) {
  Result<const PreparedFirmware*> prepared = files_.Prepare(path, bytes);
  if (!prepared || window_ == nullptr) {
    return prepared;
  }
  // The update starts from here unless the operator declines a file that may be cut short:
  // then no update ends, and the next file watches afresh.
  UpdateSubject subject;
  subject.uid = window_->target_uid;
  subject.model = model_;
  subject.version_before = version_;
  if (window_->link != nullptr && opened_adapter_ >= 0) {
    subject.adapter = line_.OpenAdapterName(opened_adapter_, window_->link);
  }
  watch_ = std::make_unique<UpdateWatch>(line_, *files_.last(), settings_, events_, 0,
                                         std::move(subject));
  return prepared;
}

void WindowStation::OnLinkChanged(bool open) {
  opened_adapter_ = open && window_ != nullptr ? window_->next_device_index : -1;
  events_.OnLinkChanged(open);
}

void WindowStation::OnDiscovery(const DiscoveryEvent& event) {
  if (event.found) {
    model_.clear();
    version_.clear();
  }
  events_.OnDiscovery(event);
}

void WindowStation::OnReplyAccepted(const RdmFrameView& frame) {
  events_.OnReplyAccepted(frame);
}

void WindowStation::OnCommandAnswered(const CommandAnswer& answer) {
  events_.OnCommandAnswered(answer);
}

void WindowStation::OnDeviceInfo(const DeviceInfoEvent& info) {
  if (info.pid == DEVICE_MODEL_DESCRIPTION) {
    model_ = info.text;
  } else if (info.pid == SOFTWARE_VERSION_LABEL) {
    version_ = info.text;
  }
  events_.OnDeviceInfo(info);
}

void WindowStation::OnUpdateProgress(const UpdateProgress& progress) {
  if (watch_ != nullptr) {
    watch_->OnUpdateProgress(progress);
  }
  events_.OnUpdateProgress(progress);
}

void WindowStation::OnUpdateEnded(UpdateOutcome outcome) {
  events_.OnUpdateEnded(outcome);
  if (watch_ == nullptr || window_ == nullptr) {
    return;
  }
  watch_->OnUpdateEnded(outcome);
  last_result_ = watch_->Finish(window_->job, false);
  watch_.reset();
  events_.OnFlashResult(0, *last_result_);
}

// Every line of the log pane goes to the update's result (its log) and on to the listeners (the
// program's support log among them).
void WindowStation::OnLogAppended(const std::string& text) {
  if (watch_ != nullptr) {
    watch_->OnLogLine(0, text, false);
  }
  events_.OnLogLine(0, text, false);
}

}  // namespace quillmont
