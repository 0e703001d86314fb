// Which driver the programs talk to the line through, chosen by name on the command line.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "link/d2xx_driver.h"

namespace quillmont {

// The backend used when none is named: "serial" on Linux, "d2xx" elsewhere.
std::string DefaultBackendName();

// Makes the driver named "serial", "d2xx" or "usbpro" ("" for the default), or says why it
// cannot. `ports` (from --port, in order) replaces the serial backend's adapter list: device paths
// on Linux, COM port names (COM3) on Windows; the vendor library numbers its adapters itself, so
// it refuses them. "usbpro" speaks to DMX USB Pro-style widgets over the serial backend's ports:
// the --port ones, or without them the FTDI and other USB-to-RS485 devices the search takes, of
// which it opens only those where a widget answers.
Result<std::unique_ptr<D2xxDriver>> MakeBackend(const std::string& name,
                                                const std::vector<std::string>& ports);

}  // namespace quillmont
