// SPDX-License-Identifier: Apache-2.0
// A health check of the adapters on a line, for a technician who wants to know before an update
// whether it can run: what each adapter is, whether it opens, the rate and latency timer it
// reads back, whether it hears its own transmission (echo) and, if it does, whether its breaks
// reach the line, and which fixtures answer a full discovery on it. Also the services of the
// system that are known to grab a serial adapter.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "link/adapter_facts.h"
#include "rdm/full_discovery.h"
#include "station/line_set.h"
#include "station/run_settings.h"

namespace quillmont {

// What the check learnt of the adapter's breaks.
enum class BreakCheck {
  kArrive,       // its own break came back as a NUL before the echo of the frame
  kNeverArrive,  // the echo came back with no NUL before it: the break never reached the line
  kRefused,      // the adapter refused the break call
  kNotTestable,  // the adapter does not hear itself, or the widget makes its breaks itself
};

struct AdapterCheck {
  int index = 0;
  bool opened = false;
  AdapterFacts facts;        // as the backend knows them, after the rate was set
  uint32_t rate = 0;         // the rate asked for
  std::optional<bool> echo;  // measured on the line; the widget's own word for a widget
  BreakCheck breaks = BreakCheck::kNotTestable;
  FullDiscoveryResult discovery;
  std::vector<std::string> notices;  // what the line told of the adapter on the way
};

// Checks adapter `index` of `line`: opens it at the run's rate, sends one request that no
// fixture answers to hear its echo and break, runs a full discovery and closes it again.
AdapterCheck CheckAdapter(LineSet& line, int index, const RunSettings& settings);

// How many adapters the driver of `line` finds now.
int CountAdapters(LineSet& line);

// A service of the system that can take a serial adapter from under the program.
struct SerialGrabber {
  std::string name;        // "ModemManager", "brltty"
  bool running = false;    // a process of that name runs
  bool installed = false;  // its unit file or udev rule is there
};

// ModemManager and brltty on Linux, each whether it runs and whether it is installed; empty on
// other systems.
std::vector<SerialGrabber> FindSerialGrabbers();

}  // namespace quillmont
