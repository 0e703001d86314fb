// The list of USB serial adapters, as the serial backend numbers them.
#pragma once

#include <string>
#include <vector>

namespace quillmont::serial {

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

}  // namespace quillmont::serial
