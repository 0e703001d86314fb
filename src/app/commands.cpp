// The operator's commands other than the firmware update. Commands that talk to the device send
// one request at once and never wait: the answers come in through the tick.
#include <string>

#include "app/baud_list.h"
#include "app/decimal_text.h"
#include "app/settings_text.h"
#include "app/uid_text.h"
#include "app/updater_window.h"
#include "rdm/message.h"

namespace quillmont {
namespace {

constexpr int16_t kDiscoverCountdownTicks = 5;
constexpr uint16_t kMaxSubDevice = 65535;

}  // namespace

void UpdaterWindow::OnDiscoverButton() {
  countdown = kDiscoverCountdownTicks;
  device_found = 0;
  manual_uid = 0;
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
  device_found = 1;
  port_.SetControlText(kStatusLine, "Manually Connected to Rdm ID");
  manual_uid = 0;
  uid_text = ToUpperAscii(uid_text);
  ShowTexts();
  const std::string typed = uid_text;
  const int16_t result =
      ParseHexBytes(typed, target_uid.data(), static_cast<int16_t>(target_uid.size()));
  if (result != 6) {
    port_.ShowMessageBox("Invalid RDM ID.");
  }
  return result;
}

bool UpdaterWindow::BeginDeviceCommand(bool tell_when_no_device) {
  if (job.running()) {
    return false;
  }
  ApplyTypedUid();
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
  // No range test: the low 16 bits of the number typed go out, high byte first.
  const auto address = static_cast<uint32_t>(DecimalTextValue(dmx_address_text));
  const uint8_t data[2] = {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
  SendToTarget(SET_COMMAND, DMX_START_ADDRESS, data, 2);
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
  const int32_t baud = DecimalTextValue(BaudTextString(baud_text));
  if (link != nullptr && baud >= kMinAppliedBaud) {
    SetLinkBaud(io_, link, baud);
  }
  SaveSettings();
}

}  // namespace quillmont
