// SPDX-License-Identifier: Apache-2.0
#include "link/usb/known_adapters.h"

#include <cctype>
#include <string>

namespace quillmont::usb {
namespace {

// FTDI: the chip in nearly every USB-RS485 and DMX interface (FTDI's own USB-RS485 cables,
// Open DMX and DMX USB Pro style interfaces). Every product of the vendor is taken.
constexpr uint16_t kFtdiVendor = 0x0403;

// Other chips that cheap USB-to-RS485 converters are built on. Each ID is one chip, not a
// product, so a microcontroller board with the same chip looks the same: name the adapter with
// --port when one is attached.
struct KnownChip {
  UsbId id;
  const char* name;
};

constexpr KnownChip kKnownAdapters[] = {
    {{0x1A86, 0x7523}, "WCH CH340"},  // the usual low-cost USB-RS485 stick
    {{0x1A86, 0x5523}, "WCH CH341"},
    {{0x1A86, 0x55D3}, "WCH CH343"},
    {{0x1A86, 0x55D4}, "WCH CH9102"},
    {{0x10C4, 0xEA60}, "Silicon Labs CP210x"},  // industrial USB-RS485 converters
    {{0x10C4, 0xEA70}, "Silicon Labs CP2105"},
    {{0x10C4, 0xEA71}, "Silicon Labs CP2108"},
    {{0x067B, 0x2303}, "Prolific PL2303"},  // older USB-RS485 converters
    {{0x067B, 0x23A3}, "Prolific PL2303GC"},
    {{0x067B, 0x23B3}, "Prolific PL2303GB"},
    {{0x067B, 0x23C3}, "Prolific PL2303GT"},
    {{0x067B, 0x23D3}, "Prolific PL2303GL"},
    {{0x067B, 0x23E3}, "Prolific PL2303GE"},
    {{0x067B, 0x23F3}, "Prolific PL2303GS"},
};

// The four hex digits after `key` (searched case-insensitively) in text, or false.
bool FindHex16(const std::string& upper, const char* key, uint16_t* value) {
  const size_t at = upper.find(key);
  if (at == std::string::npos) {
    return false;
  }
  const size_t start = at + std::char_traits<char>::length(key);
  if (start + 4 > upper.size()) {
    return false;
  }
  uint16_t result = 0;
  for (size_t i = start; i < start + 4; ++i) {
    const char c = upper[i];
    int digit = 0;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    result = static_cast<uint16_t>(result * 16 + digit);
  }
  *value = result;
  return true;
}

}  // namespace

AdapterKind ClassifyAdapter(UsbId id) {
  if (id.vendor == kFtdiVendor) {
    return AdapterKind::kFtdi;
  }
  for (const KnownChip& known : kKnownAdapters) {
    if (known.id.vendor == id.vendor && known.id.product == id.product) {
      return AdapterKind::kKnown;
    }
  }
  return AdapterKind::kOther;
}

std::string ChipName(UsbId id) {
  if (id.vendor == kFtdiVendor) {
    return "FTDI";
  }
  for (const KnownChip& known : kKnownAdapters) {
    if (known.id.vendor == id.vendor && known.id.product == id.product) {
      return known.name;
    }
  }
  return {};
}

bool ParseHardwareId(std::string_view hardware_id, UsbId* id) {
  std::string upper(hardware_id);
  for (char& c : upper) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  UsbId found;
  if (!FindHex16(upper, "VID_", &found.vendor) || !FindHex16(upper, "PID_", &found.product)) {
    return false;
  }
  *id = found;
  return true;
}

}  // namespace quillmont::usb
