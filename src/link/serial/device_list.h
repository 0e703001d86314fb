// SPDX-License-Identifier: Apache-2.0
// The list of USB serial adapters, as the serial backend numbers them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/usb/known_adapters.h"

namespace quillmont::serial {

// What sysfs tells of one USB serial device.
struct UsbSerialDevice {
  std::string name;  // "ttyUSB0"
  std::string path;  // "/dev/ttyUSB0"
  usb::AdapterKind kind = usb::AdapterKind::kOther;
  usb::UsbId id;       // 0:0 when not known
  std::string driver;  // "ftdi_sio", "ch341", "cp210x", "pl2303", "cdc_acm"
  // Changes with every plug (the USB device's bus and device number); empty when not known.
  std::string plug;
};

// True when a sorts before b in natural order: runs of digits compare by their value, so
// ttyUSB2 comes before ttyUSB10. A total order; equal texts only compare equal.
bool NaturalLess(const std::string& a, const std::string& b);

// The USB serial devices (ttyUSB*, ttyACM*) that the kernel lists under <sysfs_root>/class/tty
// and that can be DMX/RDM adapters, as device paths under dev_root: FTDI chips (bound to
// ftdi_sio, or with USB vendor 0403) first, then the other known USB-to-RS485 chips
// (usb/known_adapters.h); each group in natural order. Other devices are left out. One
// directory scan: no device is opened.
std::vector<std::string> ScanUsbSerialDevices(const std::string& sysfs_root,
                                              const std::string& dev_root);
// The same devices with what sysfs tells of each, in the same order.
std::vector<UsbSerialDevice> ListUsbSerialDevices(const std::string& sysfs_root,
                                                  const std::string& dev_root);
// What sysfs tells of the terminal `name` ("ttyUSB0"), whether the search takes it or not;
// nothing when sysfs does not know it (a pseudo-terminal).
std::optional<UsbSerialDevice> DescribeUsbSerialDevice(const std::string& sysfs_root,
                                                       const std::string& dev_root,
                                                       const std::string& name);
// The latency timer of an FTDI chip under ftdi_sio, in ms, as its driver tells in sysfs.
std::optional<uint32_t> ReadLatencyTimer(const std::string& sysfs_root, const std::string& name);

}  // namespace quillmont::serial
