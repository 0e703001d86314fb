// SPDX-License-Identifier: Apache-2.0
// Which driver the programs talk to the line through, chosen by name on the command line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "link/d2xx_driver.h"

namespace quillmont {

// The backend used when none is named: "serial" on Linux; on Windows "d2xx" where FTDI's library
// is installed and "serial" (COM ports) where it is not.
std::string DefaultBackendName();

// How the backend drives its adapters, beyond which ones.
struct BackendOptions {
  uint32_t widget_baud = 0;    // a widget clone's host-side rate; 0 leaves the port's own
  bool rts_direction = false;  // the driver enable is switched by RTS
};

// Makes the driver named "serial", "d2xx" or "usbpro" ("" for the default), or says why it
// cannot. `ports` (from --port, in order) replaces the serial backend's adapter list: device paths
// on Linux, COM port names (COM3) on Windows; the vendor library numbers its adapters itself, so
// it refuses them. "usbpro" speaks to DMX USB Pro-style widgets over the serial backend's ports:
// the --port ones, or without them the FTDI and other USB-to-RS485 devices the search takes, of
// which it opens only those where a widget answers.
Result<std::unique_ptr<D2xxDriver>> MakeBackend(const std::string& name,
                                                const std::vector<std::string>& ports,
                                                const BackendOptions& options = {});

}  // namespace quillmont
