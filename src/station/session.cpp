// SPDX-License-Identifier: Apache-2.0
#include "station/session.h"

#include <utility>

#include "app/event_pacer.h"
#include "app/tick_pacer.h"
#include "rdm/message.h"
#include "rdm/uid.h"

namespace quillmont {
namespace {

std::unique_ptr<WindowPacer> MakePacer(UpdaterWindow& window, LineSet& line, Pacing pacing) {
  VirtualClock* virtual_clock = line.virtual_clock();
  if (pacing == Pacing::kEvent) {
    return virtual_clock != nullptr ? std::make_unique<EventPacer>(window, *virtual_clock)
                                    : std::make_unique<EventPacer>(window, line.clock());
  }
  return virtual_clock != nullptr ? std::make_unique<TickPacer>(window, *virtual_clock)
                                  : std::make_unique<TickPacer>(window, line.clock());
}

bool IsProgramStep(UpdateState step) {
  return step == UpdateState::kProgramChunks || step == UpdateState::kWriteSignature;
}

}  // namespace

Session::Session(LineSet& line, StationEvents& events, const RunSettings& settings, int adapter)
    : line_(line),
      events_(events),
      settings_(settings),
      adapter_(adapter),
      diag_(settings.diag != nullptr ? *settings.diag : null_stream_),
      window_(std::make_unique<UpdaterWindow>(port_, line.driver(), line.clock(), diag_)) {
  port_.on_log_line = [this](const std::string& text) { OnLogLine(text); };
  port_.on_status = [this](const std::string& text) {
    Tell([&](StationEvents& e) { e.OnStatus(adapter_, text); });
  };
  port_.on_message_box = [this](const std::string& text) {
    Tell([&](StationEvents& e) { e.OnMessageBox(adapter_, text); });
  };
  window_->set_events(this);
}

Session::~Session() {
  window_->set_events(nullptr);
  // The port is released on every way out, so that the next run can open it.
  if (window_->link != nullptr) {
    line_.driver().FT_Close(window_->link);
    window_->link = nullptr;
  }
}

int64_t Session::ticks_run() const {
  return pacer_ ? pacer_->ticks_run() : 0;
}

std::string Session::uid() const {
  return reached_ ? FormatUid(target_uid_) : std::string();
}

std::string Session::AdapterName() {
  if (window_->link == nullptr || opened_adapter_ < 0) {
    return {};
  }
  return line_.OpenAdapterName(opened_adapter_, window_->link);
}

void Session::OnLogLine(const std::string& line) {
  // The update announces each program request in the log while it programs.
  const bool program_request = IsProgramStep(window_->job.state());
  Tell([&](StationEvents& e) { e.OnLogLine(adapter_, line, program_request); });
}

bool Session::RunUntil(const std::function<bool()>& done, int64_t max_ticks) {
  return pacer_->RunUntil([this, &done] { return stopped() || done(); }, max_ticks) && !stopped();
}

void Session::OnLinkChanged(bool open) {
  link_open_ = open;
  opened_adapter_ = open ? window_->next_device_index : -1;
  if (!open) {
    device_known_ = false;
  }
  Tell([&](StationEvents& e) { e.OnLinkChanged(open); });
}

void Session::OnDiscovery(const DiscoveryEvent& event) {
  device_known_ = event.found;
  if (event.found) {
    reached_ = true;
    target_uid_ = event.uid;
    info_ = DeviceInfo{};  // the discovery asks for the texts itself; they count from here
  } else {
    ++discovery_failures_;
  }
  Tell([&](StationEvents& e) { e.OnDiscovery(event); });
}

void Session::OnReplyAccepted(const RdmFrameView& frame) {
  if (frame.Is(DISCOVERY_COMMAND_RESPONSE, DISC_UN_MUTE) && frame.data().size() >= 2) {
    last_control_ = frame.data()[1];
    ++control_answers_;
  }
  Tell([&](StationEvents& e) { e.OnReplyAccepted(frame); });
}

void Session::OnCommandAnswered(const CommandAnswer& answer) {
  if (answer.command_class == SET_COMMAND_RESPONSE) {
    last_set_answer_ = answer;
    ++set_answers_;
  }
  Tell([&](StationEvents& e) { e.OnCommandAnswered(answer); });
}

void Session::OnDeviceInfo(const DeviceInfoEvent& info) {
  switch (info.pid) {
    case DEVICE_MODEL_DESCRIPTION:
      info_.model = info.text;
      info_.has_model = true;
      break;
    case SOFTWARE_VERSION_LABEL:
      info_.software_version = info.text;
      info_.has_version = true;
      break;
    case DMX_START_ADDRESS:
      info_.dmx_address = info.address;
      info_.has_address = true;
      break;
    default:
      break;
  }
  Tell([&](StationEvents& e) { e.OnDeviceInfo(info); });
}

void Session::OnLineNotice(const std::string& text) {
  Tell([&](StationEvents& e) { e.OnLineNotice(text); });
}

void Session::OnUpdateProgress(const UpdateProgress& progress) {
  Tell([&](StationEvents& e) { e.OnUpdateProgress(progress); });
}

void Session::OnUpdateEnded(UpdateOutcome outcome) {
  Tell([&](StationEvents& e) { e.OnUpdateEnded(outcome); });
}

Status Session::Start() {
  window_->settings_path.clear();  // no settings file: nothing read, nothing saved
  window_->OnInit();
  pacer_ = MakePacer(*window_, line_, settings_.pacing);
  if (!settings_.baud.empty() && !window_->ChooseBaud(settings_.baud)) {
    return Error{settings_.baud + " is not a rate of the window's list."};
  }
  return {};
}

Reach Session::Connect(const std::optional<RdmUid>& uid) {
  if (!RunUntil([this] { return link_open_; }, kLinkWaitTicks)) {
    return Reach::kNoAdapter;
  }
  if (uid) {
    if (!window_->UseUid(*uid)) {
      return Reach::kNoDevice;
    }
    device_known_ = true;
    reached_ = true;
    target_uid_ = *uid;
    return Reach::kDevice;
  }
  discovery_failures_ = 0;
  RunUntil(
      [this] { return device_known_ || !link_open_ || discovery_failures_ >= kDiscoveryAttempts; },
      kDeviceWaitTicks);
  if (!link_open_) {
    return Reach::kNoAdapter;
  }
  if (!device_known_) {
    return Reach::kNoDevice;
  }
  // The discovery has just asked for the model; the version and address follow its answer.
  info_requested_ = true;
  return Reach::kDevice;
}

Result<DeviceInfo> Session::ReadDeviceInfo(bool need_address) {
  // The discovery asked for the model as it found the fixture: an application answers at once.
  const bool asked = std::exchange(info_requested_, false);
  if (asked && RunUntil([this] { return info_.has_model; }, kModelGraceTicks)) {
    return ReadApplicationInfo(need_address, true);
  }
  if (!link_open_ || stopped()) {
    return Error{"The fixture did not tell its model, version and address."};
  }
  switch (ReadFixtureMode()) {
    case FixtureMode::kBootloader:
      return ReadBootloaderInfo();
    case FixtureMode::kApplication: {
      Result<DeviceInfo> info = ReadApplicationInfo(need_address, false);
      if (info) {
        info->mode = FixtureMode::kApplication;
      }
      return info;
    }
    case FixtureMode::kUnknown:
      break;
  }
  return Error{"The fixture did not answer."};
}

Result<DeviceInfo> Session::ReadApplicationInfo(bool need_address, bool asked) {
  for (int attempt = 0; attempt < kRequestAttempts; ++attempt) {
    if (!asked || attempt > 0) {
      info_ = DeviceInfo{};  // only this round's answers count
      window_->RefreshDeviceInfo();
    }
    const auto has_address = [this] { return info_.has_address; };
    bool complete = RunUntil(
        [this, need_address] { return info_.has_version || (need_address && info_.has_address); },
        kAnswerWaitTicks);
    if (complete && need_address && !RunUntil(has_address, kAddressGraceTicks)) {
      // The address is asked for on the tick the version came, and an application answers at
      // once. A bootloader that tells its texts never does: asked where it runs, the fixture
      // tells so at once.
      if (ReadFixtureMode() == FixtureMode::kBootloader) {
        info_.mode = FixtureMode::kBootloader;
        break;
      }
      complete = RunUntil(has_address, kAnswerWaitTicks);
    }
    if (complete && device_known_) {
      DeviceInfo info = info_;
      info.uid = uid();
      return info;
    }
    if (!link_open_ || stopped()) {
      break;
    }
  }
  if (info_.model.empty() && info_.software_version.empty()) {
    return Error{"The fixture did not tell its model, version and address."};
  }
  DeviceInfo info = info_;
  info.uid = uid();
  info.has_address = false;
  return info;
}

DeviceInfo Session::ReadBootloaderInfo() {
  for (int attempt = 0; attempt < kRequestAttempts && link_open_ && !stopped(); ++attempt) {
    info_ = DeviceInfo{};
    window_->AskVersionLabel();
    if (RunUntil([this] { return info_.has_version; }, kAnswerWaitTicks)) {
      break;
    }
  }
  DeviceInfo info = info_;
  info.uid = uid();
  info.has_address = false;
  info.mode = FixtureMode::kBootloader;
  return info;
}

FixtureMode Session::ReadFixtureMode() {
  for (int attempt = 0; attempt < kRequestAttempts && link_open_ && !stopped(); ++attempt) {
    const int answers = control_answers_;
    window_->PollControlField();
    if (RunUntil([this, answers] { return control_answers_ > answers; }, kAnswerWaitTicks)) {
      return (last_control_ & kControlBootLoader) != 0 ? FixtureMode::kBootloader
                                                       : FixtureMode::kApplication;
    }
  }
  return FixtureMode::kUnknown;
}

SetAnswer Session::SendAndAwait(const std::function<void()>& command) {
  for (int attempt = 0; attempt < kRequestAttempts && link_open_ && !stopped(); ++attempt) {
    const int answers = set_answers_;
    command();
    if (!RunUntil([this, answers] { return set_answers_ > answers; }, kAnswerWaitTicks)) {
      continue;
    }
    SetAnswer answer;
    answer.answer = Answer::kAck;
    if (last_set_answer_.response_type == RESPONSE_TYPE_NACK_REASON) {
      answer.answer = Answer::kNack;
      answer.nack_reason = last_set_answer_.nack_reason;
    }
    return answer;
  }
  return SetAnswer{};
}

}  // namespace quillmont
