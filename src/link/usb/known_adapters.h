// SPDX-License-Identifier: Apache-2.0
// Which USB devices the adapter search takes without being told: those that can be a DMX/RDM
// interface. Any other serial device (a modem, a microcontroller board, a GPS receiver) could
// take the search's breaks and 250 kbaud frames for data, so it is used only when named with
// --port.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillmont::usb {

struct UsbId {
  uint16_t vendor = 0;
  uint16_t product = 0;
};

enum class AdapterKind {
  kOther,  // not taken by the search
  kFtdi,   // an FTDI chip: searched first
  kKnown,  // a USB-to-RS485 chip that DMX adapters are built on: searched after FTDI
};

AdapterKind ClassifyAdapter(UsbId id);
// The chip's name ("FTDI", "WCH CH340", "Prolific PL2303GT"); empty for a device not listed.
std::string ChipName(UsbId id);

// The USB IDs in a Windows hardware ID: "USB\VID_0403&PID_6001&REV_0600",
// "FTDIBUS\COMPORT&VID_0403&PID_6001" (any case). False when it holds no VID_ and PID_ with
// four hex digits each.
bool ParseHardwareId(std::string_view hardware_id, UsbId* id);

}  // namespace quillmont::usb
