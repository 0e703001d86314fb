// SPDX-License-Identifier: Apache-2.0
// Names of Windows communications ports: what the user types (COM3, com12, \\.\COM3) and the
// device path that CreateFile opens. Plain text handling, the same on every system.
#pragma once

#include <string>
#include <vector>

namespace quillmont::com {

// The port's DOS device name in upper case ("COM3") for "COM3", "com3" or "\\.\COM3"; empty when
// the text is not a port name (a prefix of up to 8 letters, then a number from 0 to 255 without
// leading zeros), which keeps paths and device names other than ports away from CreateFile.
std::string ComPortName(const std::string& text);

// "\\.\COM3" for the port name "COM3": the form that reaches every port, COM10 and above too.
std::string ComDevicePath(const std::string& port_name);

// Port names in the order the driver numbers them: by prefix, then by number (COM2 before
// COM10). Duplicates are dropped.
void SortComPortNames(std::vector<std::string>& names);

}  // namespace quillmont::com
