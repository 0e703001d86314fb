// SPDX-License-Identifier: Apache-2.0
// What a backend knows of an adapter it has open: the port, the chip and its driver, the USB IDs,
// the latency timer and the rate as read back, whether the adapter hears its own transmission.
// A health check of the adapters reads them; the notes are what opening the adapter found worth
// telling the user (a latency timer that stays high, say), each a whole sentence.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmont {

struct AdapterFacts {
  std::string port;     // "/dev/ttyUSB0", "COM5", "FTDI adapter 0", "simulated adapter 0"
  std::string backend;  // "serial", "d2xx", "COM port", "usbpro", "sim"
  std::string chip;     // "FTDI", "WCH CH340", ...; empty when not known
  std::string driver;   // the system's driver for it ("ftdi_sio", "ch341"); empty when not known
  uint16_t usb_vendor = 0;  // 0 when not known
  uint16_t usb_product = 0;
  std::optional<uint32_t> latency_timer_ms;  // as read back from the chip or its driver
  std::optional<uint32_t> baud;              // the rate the line runs at, as read back
  std::optional<bool> hears_itself;          // whether its own transmission comes back (echo)
  bool rts_direction = false;                // the driver enable is switched by RTS
  std::vector<std::string> notes;
};

}  // namespace quillmont
