// SPDX-License-Identifier: Apache-2.0
// The main loop: one tick per expiry of the 10 ms timer. It watches the link, searches for an
// adapter, schedules discovery, pumps received bytes into one response frame, acts on a complete
// good frame, and last, on every tick, gives the update procedure its step.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

#include "app/baud_list.h"
#include "app/decimal_text.h"
#include "app/settings_text.h"
#include "app/updater_window.h"
#include "rdm/discovery.h"
#include "rdm/fixture_text.h"
#include "rdm/message.h"
#include "rdm/request.h"
#include "rdm/response_check.h"

namespace quillmont {
namespace {

// Ticks from an open attempt (or a Discover click) to the next try or to discovery; the
// broadcast un-mute goes out while the countdown stands at this value.
constexpr int16_t kCountdownTicks = 5;
// Ticks from a failed discovery to the next un-mute.
constexpr int16_t kRetryDiscoveryTicks = 300;
// Frames this long or longer are listed without the header line.
constexpr int kHeaderLineLimit = 80;
// The read time-out of the receiver for a frame's first byte.
constexpr int16_t kReceiveTimeoutMs = 1;
// The longest wait for the rest of a frame under way: its bytes are due at the line's rate.
constexpr int32_t kMaxRestWaitMs = 30;

std::string HexListing(const uint8_t* bytes, int count) {
  std::string text;
  text.reserve(static_cast<size_t>(count) * 3);
  char cell[4];
  for (int i = 0; i < count; ++i) {
    std::snprintf(cell, sizeof cell, "%02X ", bytes[i]);
    text += cell;
  }
  return text;
}

CommandAnswer AnswerOf(const RdmFrameView& frame, const ResponseCheck& check) {
  return CommandAnswer{frame.command_class(), frame.pid(), frame.response_type(),
                       check.kind == ResponseKind::kNack ? check.nack_reason : uint16_t{0}};
}

}  // namespace

void UpdaterWindow::OnTick(int timer_id) {
  if (timer_id == kLineWatchTimerId) {
    OnLineReadable();
    return;
  }
  if (line_lent_) {
    return;  // another part of the program has the line
  }
  if (busy != 0) {
    // A tick inside a modal loop that a running tick opened: only the update's step.
    job.Step();
    busy = 0;
    return;
  }
  if (pending_end_box_) {
    // Outside every tick's work, so that the ticks inside the box run whole.
    const std::string text = std::move(*pending_end_box_);
    pending_end_box_.reset();
    port_.ShowMessageBox(text);
    return;
  }
  busy = 1;
  WatchLink();
  if (link == nullptr) {
    SearchAdapter();
  }
  bool receive = device_found != 0;
  if (!receive && link != nullptr && manual_uid == 0) {
    receive = RunDiscoverySchedule();
  }
  if (receive && receive_between_ticks) {
    ReceiveWaitingBytes();
  } else if (receive) {
    ReceiveBytes();
    ShowAndDispatchFrame();
  }
  job.Step();
  // One request at a time on the line: the update's end may have come with a reply that asked
  // for the next label, whose answer comes in on this tick.
  if (ask_model_after_update_ > 0 && --ask_model_after_update_ == 0 && !job.running()) {
    if (link != nullptr && device_found != 0 && relabel_bootloader_) {
      ask_address_after_version_ = false;  // a bootloader tells its label alone
      SendToTarget(GET_COMMAND, SOFTWARE_VERSION_LABEL, nullptr, 0);
    } else if (link != nullptr && device_found != 0) {
      SendToTarget(GET_COMMAND, DEVICE_MODEL_DESCRIPTION, nullptr, 0);
    }
  }
  TellLineNotices();
  CountDownAwaitedAnswer();
  busy = 0;
}

void UpdaterWindow::TellLineNotices() {
  for (const std::string& notice : TakeLineNotices(io_)) {
    AppendLog(notice);
    events_->OnLineNotice(notice);
  }
}

void UpdaterWindow::WatchLink() {
  if (link == nullptr) {
    return;
  }
  uint32_t modem_status = 0;
  if (io_.driver.FT_GetModemStatus(link, &modem_status) != FT_OK) {
    port_.SetControlText(kStatusLine, "Not Connected.");
    CloseLink();
    job.OnLinkLost();  // nothing more can reach the fixture: a running update ends here
  }
}

void UpdaterWindow::CloseLink() {
  io_.driver.FT_Close(link);
  link = nullptr;
  device_found = 0;
  awaited_.reset();
  asked_where_it_runs_ = false;
  discovery_failure_told_ = false;
  events_->OnLinkChanged(false);
}

void UpdaterWindow::SearchAdapter() {
  if (countdown > 0) {
    --countdown;
    return;
  }
  uint32_t count = 0;
  io_.driver.FT_CreateDeviceInfoList(&count);
  const auto count16 = static_cast<int16_t>(count & 0xFFFF);
  if (next_device_index < 0 || next_device_index >= count16) {
    next_device_index = 0;
  }
  if (count == 0) {
    return;  // asked again on the next tick
  }
  if (!OpenLink(io_, link, next_device_index)) {
    next_device_index = static_cast<int16_t>(next_device_index + 1);
  } else {
    const int32_t baud = DecimalTextValue(BaudTextString(baud_text));
    if (baud >= kMinAppliedBaud) {
      (void)SetLinkBaud(io_, link, baud);  // a refused rate is printed; the search goes on
    }
    port_.SetControlText(kStatusLine, "Connected");
    events_->OnLinkChanged(true);
  }
  countdown = kCountdownTicks;
}

// Link open, no device known, no UID being typed. True when a device was found on this tick.
bool UpdaterWindow::RunDiscoverySchedule() {
  if (countdown > 0) {
    if (countdown == kCountdownTicks) {
      SendUnMuteAll(io_, link);
    }
    --countdown;
    return false;
  }
  port_.SetControlText(kStatusLine, "Discover Node...");
  // A failed discovery may leave half-decoded bytes behind; they never reach target_uid.
  RdmUid found = target_uid;
  const int16_t discovered = DiscoverSingleDevice(io_, link, found);
  if (discovered != 0) {
    // An adapter that cannot send a break reaches no fixture at all: say that, not "ONE device".
    port_.SetControlText(kStatusLine,
                         io_.notices.told_break_refused
                             ? "No RDM Device available: the adapter cannot send a break."
                             : "No RDM Device available. Only ONE device should be connected.");
    countdown = kRetryDiscoveryTicks;
    device_found = 0;
    const DiscoveryFailure failure =
        discovered == -2 ? DiscoveryFailure::kLineNotQuiet : DiscoveryFailure::kNoAnswer;
    TellDiscoveryFailure(failure);
    events_->OnDiscovery(DiscoveryEvent{false, RdmUid{}, failure});
    return false;
  }
  discovery_failure_told_ = false;
  asked_where_it_runs_ = false;
  if (found != target_uid) {
    ClearDeviceLabels();  // another fixture: what the last one told is not its
  }
  target_uid = found;
  uid_text = FormatUid(target_uid);
  ShowTexts();
  port_.SetControlText(kStatusLine, "Connected,  Device's Rdm_ID  =  " + uid_text);
  device_found = 1;
  rx_length = 0;
  events_->OnDiscovery(DiscoveryEvent{true, target_uid, DiscoveryFailure::kNone});
  SendToTarget(GET_COMMAND, DEVICE_MODEL_DESCRIPTION, nullptr, 0);
  return true;
}

void UpdaterWindow::ReadMore(int wanted) {
  // The rest of a frame whose start is in comes at the line's rate: it is waited for as long
  // as its bytes take on the wire (11 bits each), and a poll more.
  const int32_t baud = std::max(DecimalTextValue(BaudTextString(baud_text)), kMinAppliedBaud);
  const int32_t wire_ms = static_cast<int32_t>((int64_t{wanted} * 11 * 1000 + baud - 1) / baud);
  const auto timeout = static_cast<int16_t>(std::min(kReceiveTimeoutMs + wire_ms, kMaxRestWaitMs));
  const Result<int> got = ReadWithTimeout(io_, link, rx_buffer.data() + rx_length,
                                          static_cast<int16_t>(wanted), timeout);
  if (!got) {
    rx_length = 0;  // a failed read drops the partial frame
    return;
  }
  rx_length = static_cast<int16_t>(rx_length + std::min(*got, wanted));
}

// No usable response announces the length at hand (or it would not fit in rx_buffer): drops the
// bytes up to the next start code among those already in, so that a frame is looked for from
// there.
void UpdaterWindow::ResyncAtNextStartCode() {
  const auto next = std::find(rx_buffer.begin() + 1, rx_buffer.begin() + rx_length, kRdmStartCode);
  const auto kept = static_cast<int16_t>(rx_buffer.begin() + rx_length - next);
  std::copy(next, rx_buffer.begin() + rx_length, rx_buffer.begin());
  rx_length = kept;
}

void UpdaterWindow::ReceiveBytes() {
  if (rx_length <= 0) {
    const Result<int> got = ReadWithTimeout(io_, link, rx_buffer.data(), 1, kReceiveTimeoutMs);
    rx_length = static_cast<int16_t>(got ? *got : -1);
  }
  if (rx_length == 1 && rx_buffer[kOffsetStartCode] != kRdmStartCode) {
    rx_length = 0;  // bytes before a start code go one per tick
  }
  if (rx_length == 1 || rx_length == 2) {
    ReadMore(3 - rx_length);
  }
  if (rx_length >= 3 && !IsUsableMessageLength(rx_buffer[kOffsetMessageLength])) {
    ResyncAtNextStartCode();
    return;
  }
  if (rx_length >= 3) {
    const int frame_size = FrameSizeFromMessageLength(rx_buffer[kOffsetMessageLength]);
    if (rx_length < frame_size) {
      ReadMore(frame_size - rx_length);
    }
  }
}

void UpdaterWindow::ShowAndDispatchFrame() {
  if (rx_length <= 0) {
    return;
  }
  const uint8_t* frame = rx_buffer.data();
  port_.SetControlText(kFrameView, HexListing(frame, rx_length));
  if (rx_length <= 3) {
    return;
  }
  const int size = FrameSizeFromMessageLength(frame[kOffsetMessageLength]);
  if (rx_length != size) {
    return;  // not complete yet: continued on the next tick
  }
  if (!IsFrameChecksumGood(frame, static_cast<size_t>(size))) {
    rx_length = 0;  // dropped silently; FrameView keeps its bytes
    return;
  }
  const std::optional<RdmFrameView> view =
      RdmFrameView::Of(std::span<const uint8_t>(frame, static_cast<size_t>(size)));
  if (!view) {
    rx_length = 0;  // too short for a header: nothing to act on
    return;
  }
  if (size < kHeaderLineLimit) {
    char header[40];
    std::snprintf(header, sizeof header, "%02X %04X Len %d\r\n", view->command_class(), view->pid(),
                  view->pdl());
    port_.SetControlText(kFrameView, header + HexListing(frame, size));
  }
  // A reply from another UID (a second fixture on the line, a late answer to a UID no longer
  // the target) is shown, but it is not the target's answer to anything and nothing acts on it.
  if (CheckResponse(RequestAnsweredBy(*view, target_uid), view).kind == ResponseKind::kOtherUid) {
    rx_length = 0;
    return;
  }
  events_->OnReplyAccepted(*view);
  NoteAnswer(*view);
  LearnWhereItRuns(*view);
  DispatchDeviceInfo(*view);
  job.OnReply(*view);
  rx_length = 0;
}

void UpdaterWindow::DispatchDeviceInfo(const RdmFrameView& frame) {
  TellWhenRefused(frame);
  const bool get = frame.command_class() == GET_COMMAND_RESPONSE;
  const bool set = frame.command_class() == SET_COMMAND_RESPONSE;
  // Only an ACK fills a label or the address; a NACK is told with its reason. The chain of
  // requests goes on either way, so that one refused parameter does not hide the others. An
  // ACK_TIMER or ACK_OVERFLOW is not the answer yet: it fills nothing and is not told as one.
  const ResponseCheck check = CheckResponse(RequestAnsweredBy(frame, target_uid), frame);
  const bool ack = check.Acknowledged();
  const bool answered = ack || check.kind == ResponseKind::kNack;
  const auto tell_answered = [&] {
    if (answered) {
      events_->OnCommandAnswered(AnswerOf(frame, check));
    }
  };
  if (get && frame.pid() == DEVICE_MODEL_DESCRIPTION) {
    ask_address_after_version_ = true;
    SendToTarget(GET_COMMAND, SOFTWARE_VERSION_LABEL, nullptr, 0);
    tell_answered();
    if (ack) {
      const std::string model = FixtureTextOf(frame.data());
      port_.SetControlText(kModelLabel, WindowText(model));
      events_->OnDeviceInfo(DeviceInfoEvent{DEVICE_MODEL_DESCRIPTION, model, 0});
    }
  }
  if (get && frame.pid() == SOFTWARE_VERSION_LABEL) {
    if (ask_address_after_version_) {
      SendToTarget(GET_COMMAND, DMX_START_ADDRESS, nullptr, 0);
    }
    tell_answered();
    if (ack) {
      const std::string version = FixtureTextOf(frame.data());
      port_.SetControlText(kVersionLabel, WindowText(version));
      events_->OnDeviceInfo(DeviceInfoEvent{SOFTWARE_VERSION_LABEL, version, 0});
    }
  }
  // The address needs two data bytes that the frame really holds.
  if (get && frame.pid() == DMX_START_ADDRESS && (!ack || frame.data().size() >= 2)) {
    tell_answered();
    if (ack) {
      const uint16_t address = GetBe16(frame.data().data());
      dmx_address_text = std::to_string(address);
      ShowTexts();
      events_->OnDeviceInfo(DeviceInfoEvent{DMX_START_ADDRESS, dmx_address_text, address});
    }
  }
  if (set && frame.pid() == DMX_START_ADDRESS) {
    if (ack) {
      port_.Beep();  // a refusal is told in the log, never beeped like a success
    }
    tell_answered();
  }
  // The identify answer beeps in the update procedure, which also takes it as the bootloader's
  // answer to the start request.
  if (set && frame.pid() == IDENTIFY_DEVICE) {
    tell_answered();
  }
}

void UpdaterWindow::PollControlField() {
  if (!job.running()) {
    SendToTarget(DISCOVERY_COMMAND, DISC_UN_MUTE, nullptr, 0);
  }
}

void UpdaterWindow::SendToTarget(uint8_t command_class, uint16_t pid, const uint8_t* data,
                                 uint8_t pdl) {
  SendRdmRequest(io_, link, target_uid, data, pdl, 0, command_class, pid);
  // The update's requests are its own; a command's GET or SET is watched for its answer.
  if (desktop_window && !job.running() && link != nullptr &&
      (command_class == GET_COMMAND || command_class == SET_COMMAND)) {
    AwaitAnswer(command_class, pid);
  }
}

}  // namespace quillmont
