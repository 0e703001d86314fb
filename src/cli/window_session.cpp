#include "cli/window_session.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

#include "app/control_ids.h"
#include "app/uid_text.h"
#include "rdm/message.h"

namespace quillmont::cli {
namespace {

constexpr const char* kNoDeviceStatus = "No RDM Device available.";

std::unique_ptr<TickPacer> MakePacer(UpdaterWindow& window, DriverSet& drivers) {
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
  port_.on_status = [this, status = std::move(sink.status)](const std::string& text) {
    if (text.rfind(kNoDeviceStatus, 0) == 0) {
      ++discovery_failures_;
    }
    if (status) {
      status(text);
    }
  };
}

WindowSession::~WindowSession() = default;

bool WindowSession::Start(const std::string& baud) {
  window_->settings_path.clear();  // no settings file: nothing read, nothing saved
  window_->OnInit();
  pacer_ = MakePacer(*window_, drivers_);
  if (baud.empty()) {
    return true;
  }
  const int index = port_.ComboFindStringExact(kBaudCombo, baud);
  if (index < 0) {
    return false;
  }
  port_.ComboSetCurSel(kBaudCombo, index);
  window_->OnBaudChanged();
  return true;
}

Reach WindowSession::Connect(const std::string& uid) {
  UpdaterWindow& w = *window_;
  if (!RunUntil([&w] { return w.link != nullptr; }, kLinkWaitTicks)) {
    return Reach::kNoAdapter;
  }
  if (!uid.empty()) {
    port_.SetControlText(kUidEdit, uid);
    w.OnUidChanged();
    return w.ApplyTypedUid() == 6 ? Reach::kDevice : Reach::kNoDevice;
  }
  discovery_failures_ = 0;
  RunUntil(
      [this, &w] {
        return w.device_found != 0 || w.link == nullptr ||
               discovery_failures_ >= kDiscoveryAttempts;
      },
      kDeviceWaitTicks);
  if (w.link == nullptr) {
    return Reach::kNoAdapter;
  }
  if (w.device_found == 0) {
    return Reach::kNoDevice;
  }
  // The discovery has just asked for the model; the version and address follow its answer.
  // The model's answer may already be in; the address comes last, after the version.
  info_requested_ = true;
  w.dmx_address_text.clear();
  w.ShowTexts();
  return Reach::kDevice;
}

bool WindowSession::ReadDeviceInfo(DeviceInfo& info) {
  UpdaterWindow& w = *window_;
  for (int attempt = 0; attempt < kRequestAttempts; ++attempt) {
    if (!info_requested_ || attempt > 0) {
      // Cleared first, so that only this round's answers fill them.
      port_.SetControlText(kModelLabel, "");
      port_.SetControlText(kVersionLabel, "");
      w.dmx_address_text.clear();
      w.ShowTexts();
      w.OnRefreshButton();
    }
    info_requested_ = false;
    const bool complete =
        RunUntil([&w] { return !w.dmx_address_text.empty(); }, kAnswerWaitTicks) &&
        w.device_found != 0;
    info.uid = FormatUid(w.target_uid);
    info.model = port_.Text(kModelLabel);
    info.software_version = port_.Text(kVersionLabel);
    if (complete) {
      const std::string& text = w.dmx_address_text;
      std::from_chars(text.data(), text.data() + text.size(), info.dmx_address);
      info.has_address = true;
      return true;
    }
    if (w.link == nullptr) {
      return false;
    }
  }
  return !info.model.empty() || !info.software_version.empty();
}

SetAnswer WindowSession::SendAndAwait(const std::function<void()>& command) {
  UpdaterWindow& w = *window_;
  for (int attempt = 0; attempt < kRequestAttempts && w.link != nullptr; ++attempt) {
    const int beeps = port_.beeps();
    command();
    if (!RunUntil([this, beeps] { return port_.beeps() > beeps; }, kAnswerWaitTicks)) {
      continue;
    }
    const std::vector<uint8_t> frame = ShownFrame();
    SetAnswer answer;
    answer.answer = Answer::kAck;
    if (frame.size() >= kRdmFrameOverhead + 2 &&
        frame[kOffsetPortOrResponseType] == RESPONSE_TYPE_NACK_REASON) {
      answer.answer = Answer::kNack;
      answer.nack_reason =
          static_cast<uint16_t>(frame[kOffsetParameterData] << 8 | frame[kOffsetParameterData + 1]);
    }
    return answer;
  }
  return SetAnswer{};
}

std::vector<uint8_t> WindowSession::ShownFrame() {
  const std::string text = port_.Text(kFrameView);
  const size_t header_end = text.find('\n');
  const size_t start = header_end == std::string::npos ? 0 : header_end + 1;
  std::vector<uint8_t> bytes;
  for (size_t i = start; i + 1 < text.size() && bytes.size() < kRdmFrameBufferSize; i += 3) {
    unsigned value = 0;
    if (std::sscanf(text.c_str() + i, "%2x", &value) != 1) {
      break;
    }
    bytes.push_back(static_cast<uint8_t>(value));
  }
  return bytes;
}

bool ParseUidArgument(const std::string& text, RdmUid& uid) {
  // One byte more than a UID: a text with a seventh byte is refused, not cut short.
  std::array<uint8_t, 7> bytes{};
  if (ParseHexBytes(ToUpperAscii(text), bytes.data(), 7) != 6) {
    return false;
  }
  std::copy_n(bytes.begin(), 6, uid.begin());
  return true;
}

}  // namespace quillmont::cli
