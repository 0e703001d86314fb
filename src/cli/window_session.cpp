#include "cli/window_session.h"

#include <algorithm>
#include <array>

#include "app/event_pacer.h"
#include "app/tick_pacer.h"
#include "app/uid_text.h"
#include "cli/interrupt.h"
#include "rdm/message.h"

namespace quillmont::cli {
namespace {

std::unique_ptr<WindowPacer> MakePacer(UpdaterWindow& window, DriverSet& drivers, Pacing pacing) {
  if (pacing == Pacing::kEvent) {
    if (VirtualClock* clock = drivers.virtual_clock()) {
      return std::make_unique<EventPacer>(window, *clock);
    }
    return std::make_unique<EventPacer>(window, drivers.clock());
  }
  if (VirtualClock* clock = drivers.virtual_clock()) {
    return std::make_unique<TickPacer>(window, *clock);
  }
  return std::make_unique<TickPacer>(window, drivers.clock());
}

}  // namespace

WindowSession::WindowSession(DriverSet& drivers, std::ostream& diag, SessionSink sink)
    : drivers_(drivers),
      diag_(diag),
      window_(std::make_unique<UpdaterWindow>(port_, drivers.driver(), drivers.clock(), diag_)) {
  port_.set_quiet(true);
  port_.on_log_line = std::move(sink.log);
  port_.on_message_box = std::move(sink.message_box);
  port_.on_status = std::move(sink.status);
  window_->set_events(this);
}

WindowSession::~WindowSession() {
  window_->set_events(nullptr);
  // The port is released on every way out, so that the next run can open it.
  if (window_->link != nullptr) {
    drivers_.driver().FT_Close(window_->link);
    window_->link = nullptr;
  }
}

bool WindowSession::RunUntil(const std::function<bool()>& done, int64_t max_ticks) {
  return pacer_->RunUntil([&done] { return PendingInterrupt() != 0 || done(); }, max_ticks) &&
         PendingInterrupt() == 0;
}

void WindowSession::OnReplyAccepted(const RdmFrameView& frame) {
  if (frame.Is(DISCOVERY_COMMAND_RESPONSE, DISC_UN_MUTE) && frame.data().size() >= 2) {
    last_control_ = frame.data()[1];
    ++control_answers_;
  }
}

FixtureMode WindowSession::ReadFixtureMode() {
  for (int attempt = 0; attempt < kRequestAttempts && link_open_ && PendingInterrupt() == 0;
       ++attempt) {
    const int answers = control_answers_;
    window_->PollControlField();
    if (RunUntil([this, answers] { return control_answers_ > answers; }, kAnswerWaitTicks)) {
      return (last_control_ & kControlBootLoader) != 0 ? FixtureMode::kBootloader
                                                       : FixtureMode::kApplication;
    }
  }
  return FixtureMode::kUnknown;
}

void WindowSession::OnLinkChanged(bool open) {
  link_open_ = open;
  if (!open) {
    device_known_ = false;
  }
}

void WindowSession::OnDiscovery(const DiscoveryEvent& event) {
  device_known_ = event.found;
  if (event.found) {
    reached_ = true;
    target_uid_ = event.uid;
    info_ = DeviceInfo{};  // the discovery asks for the texts itself; they count from here
  } else {
    ++discovery_failures_;
  }
}

void WindowSession::OnCommandAnswered(const CommandAnswer& answer) {
  if (answer.command_class == SET_COMMAND_RESPONSE) {
    last_set_answer_ = answer;
    ++set_answers_;
  }
}

void WindowSession::OnDeviceInfo(const DeviceInfoEvent& info) {
  switch (info.pid) {
    case DEVICE_MODEL_DESCRIPTION:
      info_.model = info.text;
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
}

void WindowSession::OnLineNotice(const std::string& text) {
  if (!port_.on_log_line && port_.on_message_box) {
    port_.on_message_box(text);
  }
}

void WindowSession::OnUpdateProgress(const UpdateProgress& progress) {
  if (on_update_progress) {
    on_update_progress(progress);
  }
}

void WindowSession::OnUpdateEnded(UpdateOutcome outcome) {
  if (on_update_ended) {
    on_update_ended(outcome);
  }
}

bool WindowSession::Start(const std::string& baud, Pacing pacing) {
  window_->settings_path.clear();  // no settings file: nothing read, nothing saved
  window_->OnInit();
  pacer_ = MakePacer(*window_, drivers_, pacing);
  return baud.empty() || window_->ChooseBaud(baud);
}

Reach WindowSession::Connect(const std::string& uid) {
  if (!RunUntil([this] { return link_open_; }, kLinkWaitTicks)) {
    return Reach::kNoAdapter;
  }
  if (!uid.empty()) {
    const Result<RdmUid> typed = ParseUidArgument(uid);
    if (!typed || !window_->UseUid(*typed)) {
      return Reach::kNoDevice;
    }
    device_known_ = true;
    reached_ = true;
    target_uid_ = *typed;
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

Result<DeviceInfo> WindowSession::ReadDeviceInfo(bool need_address) {
  for (int attempt = 0; attempt < kRequestAttempts; ++attempt) {
    if (!info_requested_ || attempt > 0) {
      info_ = DeviceInfo{};  // only this round's answers count
      window_->RefreshDeviceInfo();
    }
    info_requested_ = false;
    const auto has_address = [this] { return info_.has_address; };
    bool complete = RunUntil(
        [this, need_address] { return info_.has_version || (need_address && info_.has_address); },
        kAnswerWaitTicks);
    if (complete && need_address && !RunUntil(has_address, kAddressGraceTicks)) {
      // The address is asked for on the tick the version came, and an application answers at
      // once. A bootloader never does: asked where it runs, the fixture tells so at once.
      if (ReadFixtureMode() == FixtureMode::kBootloader) {
        break;
      }
      complete = RunUntil(has_address, kAnswerWaitTicks);
    }
    complete = complete && device_known_;
    if (complete) {
      DeviceInfo info = info_;
      info.uid = uid();
      return info;
    }
    if (!link_open_ || PendingInterrupt() != 0) {
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

SetAnswer WindowSession::SendAndAwait(const std::function<void()>& command) {
  for (int attempt = 0; attempt < kRequestAttempts && link_open_ && PendingInterrupt() == 0;
       ++attempt) {
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

Result<RdmUid> ParseUidArgument(const std::string& text) {
  // One byte more than a UID: a text with a seventh byte is refused, not cut short.
  std::array<uint8_t, 7> bytes{};
  if (ParseHexBytes(ToUpperAscii(text), bytes.data(), 7) != 6) {
    return Error{"Invalid RDM ID: " + text + " (six hex pairs, such as 4F 4C 12 34 56 78)."};
  }
  RdmUid uid{};
  std::copy_n(bytes.begin(), 6, uid.begin());
  return uid;
}

}  // namespace quillmont::cli
