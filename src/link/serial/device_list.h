// The list of USB serial adapters, as the serial backend numbers them.
#pragma once

#include <string>
#include <vector>

namespace quillmont::serial {

// True when a sorts before b in natural order: runs of digits compare by their value, so
// ttyUSB2 comes before ttyUSB10. A total order; equal texts only compare equal.
bool NaturalLess(const std::string& a, const std::string& b);

// The USB serial adapters (ttyUSB*, ttyACM*) that the kernel lists under
// <sysfs_root>/class/tty, as device paths under dev_root. FTDI adapters (bound to ftdi_sio, or
// with USB vendor 0403) come first, then the others; each group in natural order. One
// directory scan: no device is opened.
std::vector<std::string> ScanUsbSerialDevices(const std::string& sysfs_root,
                                              const std::string& dev_root);

}  // namespace quillmont::serial
