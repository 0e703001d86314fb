// SPDX-License-Identifier: Apache-2.0
// The window program's command line, as the Qt window takes it: --simulate, --port NAME
// (repeatable), --driver NAME, --no-history and --help; hidden, for the screenshots and the smoke
// test,
// --screenshot PATH [--screenshot-delay MS]. Options take their value as the next argument or
// after "=".
#pragma once

#include <string>
#include <vector>

#include "base/result.h"

namespace quillmont::win32 {

struct WindowOptions {
  bool simulate = false;
  std::vector<std::string> ports;
  std::string driver;
  bool no_history = false;  // record nothing in the update history
  bool help = false;
  // Saves a picture of the window (PNG) this long after it opens, and ends the window.
  std::string screenshot;
  int screenshot_delay_ms = 1500;
};

// The arguments after the program's name. An error names the argument that is wrong.
Result<WindowOptions> ParseWindowOptions(const std::vector<std::string>& args);

// What --help shows.
std::string WindowUsage();

}  // namespace quillmont::win32
