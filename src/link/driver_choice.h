// The driver choice shared by quillmont-cli and the desktop window: from the command line's
// --driver, --simulate, --port and simulator options, the D2xxDriver the core talks to and the
// clock it runs on. With the simulator the SimulatedLine stays reachable, so that a program can
// read the fixture's flash after a run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/d2xx_driver.h"
#include "rdm/uid.h"

namespace quillmont {

class SimulatedLine;

inline constexpr int kMaxSimFixtures = 64;
inline constexpr int kMaxSimAdapters = 16;
inline constexpr size_t kMaxSimLabel = 32;

struct SimOptions {
  int fixtures = 1;  // on each adapter
  int adapters = 1;
  // Fault lists, each "LIST" (adapter 0) or "N:LIST" (adapter N).
  std::vector<std::string> faults;
  bool fast = false;          // a VirtualClock: the line's time passes at once
  std::string version_label;  // the application's label; empty keeps the fixture's default
  bool start_in_bootloader = false;
};

struct DriverOptions {
  std::string driver;     // "serial", "d2xx", "sim", or "" for the platform's default
  bool simulate = false;  // the same as driver "sim"
  std::vector<std::string> ports;
  SimOptions sim;

  bool UsesSimulator() const { return simulate || driver == "sim"; }
};

// A driver ready for one core, with the clock that core runs on.
class DriverSet {
 public:
  DriverSet(std::unique_ptr<Clock> clock, VirtualClock* virtual_clock);
  ~DriverSet();
  DriverSet(const DriverSet&) = delete;
  DriverSet& operator=(const DriverSet&) = delete;

  D2xxDriver& driver() { return *driver_; }
  Clock& clock() { return *clock_; }
  // The clock when it is virtual (--sim-fast), null on the real clock.
  VirtualClock* virtual_clock() { return virtual_clock_; }
  // The simulated line, null for a real adapter.
  SimulatedLine* simulated_line() { return line_; }

  // The adapters the driver finds now, by name ("/dev/ttyUSB0", "simulated adapter 0").
  std::vector<std::string> AdapterNames();

 private:
  friend struct DriverFactory;
  std::unique_ptr<Clock> clock_;
  VirtualClock* virtual_clock_;
  std::unique_ptr<D2xxDriver> driver_;
  SimulatedLine* line_ = nullptr;
  std::vector<std::string> port_names_;  // the serial backend's paths, when known
};

// A DriverSet, or (set null) a text that says why there is none, ready to show the user.
struct DriverChoice {
  std::unique_ptr<DriverSet> set;
  std::string error;
};

// Checks the options without touching any device. Empty when they are sound, otherwise the
// text to show (a bad simulator count, a fault list that does not parse, an unknown driver).
std::string CheckDriverOptions(const DriverOptions& options);

// The driver of a whole run: every adapter the chosen driver finds (with the simulator,
// `sim.adapters` lines with `sim.fixtures` fixtures each and the faults meant for each).
DriverChoice MakeDriver(const DriverOptions& options);

// How many adapters the chosen driver finds; -1 with `error` set when it cannot be made.
int CountAdapters(const DriverOptions& options, std::string& error);

// A driver that shows only adapter `adapter` of the choice, as adapter 0: one of them per core
// when every adapter is updated at once. Each has its own clock and, with the simulator, its
// own SimulatedLine holding that adapter's fixtures and faults.
DriverChoice MakeAdapterDriver(const DriverOptions& options, int adapter);

// The UID of simulated fixture `index` on adapter `adapter`: 4F4C:12345678 for the first, the
// others spread over the device ID so that a discovery has branches to split.
RdmUid SimFixtureUid(int adapter, int index);

}  // namespace quillmont
