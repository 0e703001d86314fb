// SPDX-License-Identifier: Apache-2.0
#include "ui/control_table.h"

#include <array>

#include "app/control_ids.h"

namespace quillmont::ui {

namespace {

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignTop;
constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignTop;
constexpr Qt::Alignment kCentre = Qt::AlignHCenter | Qt::AlignTop;

using K = ControlKind;

constexpr std::array<ControlSpec, 21> kControls{{
    {kExitButton, "ExitButton", K::PushButton, "Exit", 290, 10, 45, 14, kCentre, true},
    {kCancelButton, "CancelButton", K::PushButton, "Cancel", 295, 5, 50, 14, kCentre, false},
    {kUpdateButton, "UpdateButton", K::PushButton, "Update Firmware", 10, 90, 90, 14, kCentre,
     true},
    {kDiscoverButton, "DiscoverButton", K::PushButton, "Discover Node", 10, 35, 90, 14, kCentre,
     true},
    {kUidEdit, "UidEdit", K::Edit, "", 120, 35, 75, 14, kCentre, true},
    {kFrameView, "FrameView", K::Static, "", 10, 120, 325, 40, kLeft, true},
    {kSubDeviceSpin, "SubDeviceSpin", K::UpDown, "", 280, 35, 13, 14, kLeft, true},
    {kSubDeviceLabel, "SubDeviceLabel", K::Static, "0", 250, 40, 25, 8, kRight, true},
    {0, "SubDeviceCaption", K::Static, "SubDevice", 295, 40, 36, 8, kLeft, true},
    {kLogPane, "LogPane", K::LogEdit, "", 5, 180, 335, 96, kLeft, true},
    {kModelLabel, "ModelLabel", K::Static, "", 10, 55, 100, 8, kLeft, true},
    {kVersionLabel, "VersionLabel", K::Static, "", 10, 70, 85, 8, kLeft, true},
    {kStatusLine, "StatusLine", K::Static, "Not Connected", 75, 10, 190, 8, kCentre, true},
    {kIdentifyButton, "IdentifyButton", K::PushButton, "Identify", 120, 90, 60, 14, kCentre, true},
    {kStopIdentifyButton, "StopIdentifyButton", K::PushButton, "Stop Identify", 185, 90, 60, 14,
     kCentre, true},
    {kRigButton, "RigButton", K::PushButton, "Rig...", 255, 90, 40, 14, kCentre, true},
    {kRefreshButton, "RefreshButton", K::PushButton, "Refresh", 205, 35, 40, 14, kCentre, true},
    {kDmxAddressEdit, "DmxAddressEdit", K::Edit, "", 155, 60, 40, 14, kCentre, true},
    {0, "DmxAddressCaption", K::Static, "Dmx Addr:", 120, 65, 34, 8, kLeft, true},
    {kSetAddressButton, "SetAddressButton", K::PushButton, "Set", 205, 60, 40, 14, kCentre, true},
    {kBaudCombo, "BaudCombo", K::ComboDropDown, "", 10, 10, 50, 100, kLeft, true},
}};

}  // namespace

std::span<const ControlSpec> MainWindowControls() {
  return kControls;
}

namespace {

struct Mnemonic {
  const char* text;
  const char* marked;
};
// Every letter once.
constexpr Mnemonic kMnemonics[] = {
    {"Exit", "E&xit"},
    {"Update Firmware", "&Update Firmware"},
    {"Abort Operation", "&Abort Operation"},
    {"Discover Node", "&Discover Node"},
    {"Identify", "&Identify"},
    {"Stop Identify", "S&top Identify"},
    {"Refresh", "Re&fresh"},
    {"Set", "&Set"},
    {"Rig...", "&Rig..."},
};

}  // namespace

QString WithMnemonic(const QString& text) {
  for (const Mnemonic& mnemonic : kMnemonics) {
    if (text == QLatin1String(mnemonic.text))
      return QLatin1String(mnemonic.marked);
  }
  return text;
}

QString WithoutMnemonic(QString text) {
  for (const Mnemonic& mnemonic : kMnemonics) {
    if (text == QLatin1String(mnemonic.marked))
      return QLatin1String(mnemonic.text);
  }
  return text;
}

}  // namespace quillmont::ui
