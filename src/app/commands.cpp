// SPDX-License-Identifier: Apache-2.0
// The operator's commands other than the firmware update. Commands that talk to the device send
// one request at once and never wait: the answers come in through the tick.
#include <optional>
#include <string>
#include <string_view>

#include "app/baud_list.h"
#include "app/decimal_text.h"
#include "app/settings_text.h"
#include "app/updater_window.h"
#include "rdm/message.h"
#include "rdm/response_check.h"
#include "rdm/uid.h"

namespace quillmont {
namespace {

constexpr int16_t kDiscoverCountdownTicks = 5;
constexpr uint16_t kMaxSubDevice = 65535;
constexpr int kLowestDmxAddress = 1;
constexpr int kHighestDmxAddress = 512;
// Ticks a command's GET or SET may wait for its answer before the window says none came. A
// fixture answers within milliseconds; this leaves room for a slow adapter and a busy line.
constexpr int kAnswerWaitTicks = 50;
// The rate RDM fixtures answer at.
constexpr int32_t kRdmBaud = 250000;

// The DMX start address in `text`: decimal digits (leading zeros allowed) with blanks around
// them, 1 to 512. Nothing for any other text: a sign, other characters, or a number out of range.
std::optional<uint16_t> DmxAddressOf(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && blank(text[begin])) {
    ++begin;
  }
  while (end > begin && blank(text[end - 1])) {
    --end;
  }
  if (begin == end) {
    return std::nullopt;
  }
  int value = 0;
  for (size_t at = begin; at < end; ++at) {
    if (text[at] < '0' || text[at] > '9') {
      return std::nullopt;
    }
    value = value * 10 + (text[at] - '0');
    if (value > kHighestDmxAddress) {
      return std::nullopt;  // stops before a long run of digits can overflow
    }
  }
  if (value < kLowestDmxAddress) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(value);
}

// The parameters whose answers the operator's commands wait for.
bool IsCommandPid(uint16_t pid) {
  return pid == DEVICE_MODEL_DESCRIPTION || pid == SOFTWARE_VERSION_LABEL ||
         pid == DMX_START_ADDRESS || pid == IDENTIFY_DEVICE;
}

std::string PidName(uint16_t pid) {
  switch (pid) {
    case DEVICE_MODEL_DESCRIPTION:
      return "DEVICE_MODEL_DESCRIPTION";
    case SOFTWARE_VERSION_LABEL:
      return "SOFTWARE_VERSION_LABEL";
    case DMX_START_ADDRESS:
      return "DMX_START_ADDRESS";
    case IDENTIFY_DEVICE:
      return "IDENTIFY_DEVICE";
    default:
      return "PID " + std::to_string(pid);
  }
}

}  // namespace

void UpdaterWindow::OnDiscoverButton() {
  countdown = kDiscoverCountdownTicks;
  device_found = 0;
  manual_uid = 0;
  discovery_failure_told_ = false;
}

void UpdaterWindow::OnUidChanged() {
  manual_uid = 1;
}

void UpdaterWindow::OnSubDeviceDelta(int delta) {
  // The up arrow reports a negative change and raises the number.
  if (delta < 0 && subdevice_number != kMaxSubDevice) {
    ++subdevice_number;
  } else if (delta > 0 && subdevice_number != 0) {
    --subdevice_number;
  }
  port_.SetControlText(kSubDeviceLabel, std::to_string(subdevice_number));
}

int16_t UpdaterWindow::ApplyTypedUid() {
  ReadTexts();
  if (manual_uid == 0) {
    return 6;
  }
  uid_text = ToUpperAscii(uid_text);
  ShowTexts();
  // The typed UID is read into a scratch copy: a text that does not parse leaves the target, the
  // discovery state and the status line as they were, and the field keeps waiting to be taken.
  RdmUid typed = target_uid;
  const int16_t result = ParseHexBytes(uid_text, typed.data(), static_cast<int16_t>(typed.size()));
  if (result != static_cast<int16_t>(typed.size())) {
    port_.ShowMessageBox("Invalid RDM ID.");
    return result;
  }
  if (typed != target_uid) {
    ClearDeviceLabels();  // another fixture: what the last one told is not its
  }
  target_uid = typed;
  device_found = 1;
  port_.SetControlText(kStatusLine, "Manually Connected to Rdm ID");
  manual_uid = 0;
  return result;
}

bool UpdaterWindow::BeginDeviceCommand(bool tell_when_no_device) {
  if (job.running()) {
    return false;
  }
  if (ApplyTypedUid() != static_cast<int16_t>(target_uid.size())) {
    return false;  // "Invalid RDM ID." was shown; nothing goes out
  }
  if (device_found == 0) {
    if (tell_when_no_device) {
      // Ticks run while the box is open; a device found meanwhile does not make this click send.
      port_.ShowMessageBox("No Devices Discovered yet");
    }
    return false;
  }
  return true;
}

void UpdaterWindow::OnIdentifyButton() {
  if (BeginDeviceCommand(true)) {
    const uint8_t on = 0x01;
    SendToTarget(SET_COMMAND, IDENTIFY_DEVICE, &on, 1);
  }
}

void UpdaterWindow::OnStopIdentifyButton() {
  if (BeginDeviceCommand(true)) {
    const uint8_t off = 0x00;
    SendToTarget(SET_COMMAND, IDENTIFY_DEVICE, &off, 1);
  }
}

void UpdaterWindow::OnRefreshButton() {
  if (BeginDeviceCommand(false)) {
    SendToTarget(GET_COMMAND, DEVICE_MODEL_DESCRIPTION, nullptr, 0);
  }
}

void UpdaterWindow::OnSetAddressButton() {
  if (!BeginDeviceCommand(true)) {
    return;
  }
  const std::optional<uint16_t> address = DmxAddressOf(dmx_address_text);
  if (!address) {
    port_.ShowMessageBox(kDmxAddressRangeMessage);
    return;
  }
  const uint8_t data[2] = {static_cast<uint8_t>(*address >> 8), static_cast<uint8_t>(*address)};
  SendToTarget(SET_COMMAND, DMX_START_ADDRESS, data, 2);
}

void UpdaterWindow::AwaitAnswer(uint8_t command_class, uint16_t pid) {
  awaited_ = AwaitedAnswer{command_class, pid, target_uid, kAnswerWaitTicks};
}

void UpdaterWindow::NoteAnswer(const RdmFrameView& frame) {
  // Any answer counts, a NACK or a request to ask later included: the fixture is there.
  if (awaited_ &&
      CheckResponse({awaited_->uid, awaited_->command_class, awaited_->pid}, frame).Answers()) {
    awaited_.reset();
  }
}

void UpdaterWindow::CountDownAwaitedAnswer() {
  if (!awaited_ || --awaited_->ticks_left > 0) {
    return;
  }
  const char* verb = awaited_->command_class == GET_COMMAND ? "GET " : "SET ";
  AppendLog("No answer from " + FormatUid(awaited_->uid) + " to " + verb + PidName(awaited_->pid) +
            ".");
  const bool model_untold =
      awaited_->command_class == GET_COMMAND && awaited_->pid == DEVICE_MODEL_DESCRIPTION;
  awaited_.reset();
  if (model_untold) {
    AskWhereItRuns();
  }
}

// A bootloader tells no model; its un-mute answer says where the fixture runs. The answer of an
// application changes nothing: its silence was told.
void UpdaterWindow::AskWhereItRuns() {
  if (link == nullptr || device_found == 0 || job.running()) {
    return;
  }
  asked_where_it_runs_ = true;
  SendToTarget(DISCOVERY_COMMAND, DISC_UN_MUTE, nullptr, 0);
}

void UpdaterWindow::LearnWhereItRuns(const RdmFrameView& frame) {
  if (!asked_where_it_runs_ || job.running() ||
      !CheckResponse({target_uid, DISCOVERY_COMMAND, DISC_UN_MUTE}, frame).Acknowledged()) {
    return;
  }
  asked_where_it_runs_ = false;
  // The control field is the first two data bytes; a fixture may add its binding UID (PDL 8).
  if (frame.data().size() < 2 || (frame.data()[1] & kControlBootLoader) == 0) {
    return;
  }
  port_.SetControlText(kModelLabel, kInBootloaderLabel);
  AppendLog(
      "The fixture runs its bootloader, which tells no model. Update its firmware to start "
      "an application.");
  ask_address_after_version_ = false;  // a bootloader tells its label alone
  SendToTarget(GET_COMMAND, SOFTWARE_VERSION_LABEL, nullptr, 0);
}

void UpdaterWindow::TellDiscoveryFailure(DiscoveryFailure failure) {
  if (!desktop_window || discovery_failure_told_) {
    return;
  }
  discovery_failure_told_ = true;
  const int32_t baud = DecimalTextValue(BaudTextString(baud_text));
  const std::string rate = baud == kRdmBaud ? ""
                                            : "the line runs at " + BaudTextString(baud_text) +
                                                  " baud, but RDM fixtures answer at 250000; ";
  if (failure == DiscoveryFailure::kLineNotQuiet) {
    AppendLog("Discovery could not begin: the line did not fall quiet. Likely causes: " + rate +
              "noise on the line, or a line without its terminator.");
    return;
  }
  AppendLog("Discovery found no fixture. Likely causes: " + rate +
            "several fixtures on the line (this discovery needs exactly one), or no fixture "
            "connected and powered.");
}

bool UpdaterWindow::TellWhenRefused(const RdmFrameView& frame) {
  if (!frame.IsNack()) {
    return false;
  }
  const bool answer = frame.command_class() == GET_COMMAND_RESPONSE ||
                      frame.command_class() == SET_COMMAND_RESPONSE;
  // During an update the requests are the update's own, and it reports their answers.
  if (answer && IsCommandPid(frame.pid()) && !job.running()) {
    const char* verb = frame.command_class() == GET_COMMAND_RESPONSE ? "GET " : "SET ";
    AppendLog("The fixture refused " + std::string(verb) + PidName(frame.pid()) + ": " +
              NackReasonName(frame.nack_reason()));
  }
  return true;
}

void UpdaterWindow::SetDmxAddress(uint16_t address) {
  ReadTexts();  // what the operator typed elsewhere stays
  dmx_address_text = std::to_string(address);
  ShowTexts();
  OnSetAddressButton();
}

void UpdaterWindow::Identify(bool on) {
  on ? OnIdentifyButton() : OnStopIdentifyButton();
}

void UpdaterWindow::RefreshDeviceInfo() {
  OnRefreshButton();
}

void UpdaterWindow::AskVersionLabel() {
  if (BeginDeviceCommand(false)) {
    ask_address_after_version_ = false;
    SendToTarget(GET_COMMAND, SOFTWARE_VERSION_LABEL, nullptr, 0);
  }
}

bool UpdaterWindow::UseUid(const RdmUid& uid) {
  ReadTexts();
  uid_text = FormatUid(uid);
  ShowTexts();
  manual_uid = 1;
  return ApplyTypedUid() == 6;
}

bool UpdaterWindow::ChooseBaud(const std::string& rate) {
  const int index = port_.ComboFindStringExact(kBaudCombo, rate);
  if (index < 0) {
    return false;
  }
  port_.ComboSetCurSel(kBaudCombo, index);
  OnBaudChanged();
  return true;
}

void UpdaterWindow::OnBaudChanged() {
  const int index = port_.ComboGetCurSel(kBaudCombo);
  if (index < 0) {
    return;  // nothing selected: nothing to take
  }
  SetBaudText(baud_text, port_.ComboGetItemText(kBaudCombo, index));
  discovery_failure_told_ = false;
  const int32_t baud = DecimalTextValue(BaudTextString(baud_text));
  if (link != nullptr && baud >= kMinAppliedBaud) {
    (void)SetLinkBaud(io_, link, baud);  // a refused rate is printed on the diagnostic stream
  }
  SaveSettings();
}

}  // namespace quillmont
