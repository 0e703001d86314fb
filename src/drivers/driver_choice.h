// SPDX-License-Identifier: Apache-2.0
// The driver choice shared by quillmont-cli and the desktop window: from the command line's
// --driver, --simulate, --port and simulator options, the D2xxDriver the core talks to and the
// clock it runs on. With the simulator the SimulatedLine stays reachable, so that a program can
// read the fixture's flash after a run.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "base/result.h"
#include "drivers/sim_fixture_settings.h"
#include "link/clock.h"
#include "link/d2xx_driver.h"
#include "rdm/uid.h"
#include "sim/fault_plan.h"
#include "station/line_set.h"

namespace quillmont {

class SimulatedLine;
namespace usbpro {
class UsbProDriver;
}

inline constexpr int kMaxSimFixtures = 64;
inline constexpr int kMaxSimAdapters = 16;
inline constexpr size_t kMaxSimLabel = 32;

struct SimOptions {
  int fixtures = 1;  // on each adapter
  int adapters = 1;
  // The adapter every simulated line stands behind (--sim-adapter): ftdi, ftdi-echo, ch340,
  // pl2303, widget or widget-clone; empty for ftdi (or widget with --driver usbpro).
  std::string adapter;
  // Fault lists, each "LIST" (adapter 0) or "N:LIST" (adapter N).
  std::vector<std::string> faults;
  bool fast = false;          // a VirtualClock: the line's time passes at once
  std::string version_label;  // the application's label; empty keeps the fixture's default
  bool start_in_bootloader = false;
  // How single fixtures differ: "N:LIST" or "A:N:LIST" (see sim_fixture_settings.h).
  std::vector<std::string> fixture_settings;
};

struct DriverOptions {
  // "serial", "d2xx", "usbpro", "sim", or "" for the platform's default.
  std::string driver;
  // The same as driver "sim"; with driver "usbpro", the simulated line behind simulated widgets.
  bool simulate = false;
  std::vector<std::string> ports;
  // The host-side rate of a widget clone's USB serial port (--widget-baud); 0: the port's own.
  uint32_t widget_baud = 0;
  // The adapter's driver enable is switched by RTS (--rts-direction).
  bool rts_direction = false;
  SimOptions sim;
  // Where a real adapter's search tells why a port did not open, each reason once; with
  // `verbose` also which backend opens which port. Null: told nowhere.
  std::ostream* notices = nullptr;
  bool verbose = false;

  bool UsesSimulator() const { return simulate || driver == "sim"; }
  // A DMX USB Pro-style widget: named with --driver usbpro, or a simulated one.
  bool UsesWidget() const {
    return driver == "usbpro" ||
           (UsesSimulator() && (sim.adapter == "widget" || sim.adapter == "widget-clone"));
  }
};

// A fault list of --sim-faults, read: the adapter it is meant for and its plan.
struct TargetedFaults {
  int adapter = 0;
  FaultPlan plan;
};

// The options as a program's command line gave them, checked and read once: the composition
// root takes this as it is.
struct DriverConfig {
  DriverOptions options;
  std::vector<TargetedFaults> faults;               // --sim-faults, read
  std::vector<SimFixtureSetting> fixture_settings;  // --sim-fixture, read
};

// Checks the options without touching any device and reads their lists: an error when they are
// unsound (a bad simulator count, a fault list that does not parse, an unknown driver), with the
// text to show.
Result<DriverConfig> ParseDriverOptions(const DriverOptions& options);

// A driver ready for one core, with the clock that core runs on. It owns both: the clock (the
// system's, or a VirtualClock with --sim-fast) and either the simulated line or a real backend.
// It is the station's LineSet.
class DriverSet final : public LineSet {
 public:
  // An empty simulated line on its own clock, virtual when `virtual_time`; the caller adds its
  // adapters and fixtures through simulated_line().
  static std::unique_ptr<DriverSet> ForSimulator(bool virtual_time);
  // A real backend on the system clock. `port_names` are its adapters' names, when it knows them.
  static std::unique_ptr<DriverSet> ForBackend(std::unique_ptr<D2xxDriver> backend,
                                               std::vector<std::string> port_names);

  ~DriverSet() override;
  DriverSet(const DriverSet&) = delete;
  DriverSet& operator=(const DriverSet&) = delete;

  D2xxDriver& driver() override;
  Clock& clock() override;
  // The clock when it is virtual (--sim-fast), null on the real clock.
  VirtualClock* virtual_clock() override { return std::get_if<VirtualClock>(&clock_); }
  // The simulated line, null for a real adapter.
  SimulatedLine* simulated_line() { return line_.get(); }
  bool simulated() override { return line_ != nullptr; }
  std::string OpenAdapterName(int index, FT_HANDLE link) override;
  Result<std::optional<uint32_t>> CompareFixtureFlash(const RdmUid& uid,
                                                      const FirmwareImage& loaded) override;

  // The adapters the driver finds now, by name ("/dev/ttyUSB0", "simulated adapter 0"). A
  // DMX USB Pro-style widget is opened for a moment to name its serial number and firmware.
  std::vector<std::string> AdapterNames();
  // The bare name of adapter `index` ("/dev/ttyUSB0", "simulated adapter 0"), opening nothing.
  std::string PortName(int index) const;

  // With a widget driver (bare, or behind the reporter of why it does not open): the simulated
  // line behind simulated widgets, and how adapter i is described (its serial number and
  // firmware) after its name.
  void UseWidgets(std::unique_ptr<D2xxDriver> widgets, std::function<std::string(int)> describe);
  void DescribeAdaptersWith(std::function<std::string(int)> describe);
  // The widget driver whose open widgets tell their serial numbers; null for none.
  void NameWidgetsBy(const usbpro::UsbProDriver* widgets) { widgets_ = widgets; }
  // With the simulator: the number of the first simulated adapter this set holds (a set made
  // for one adapter of several holds that one alone).
  void NumberSimulatedAdaptersFrom(int first) { first_adapter_ = first; }

 private:
  explicit DriverSet(bool virtual_time);

  std::variant<SystemClock, VirtualClock> clock_;
  // The backend drives the line when there is one (the simulated widgets stand in front of the
  // simulated line); the line runs on clock_, declared before it.
  std::unique_ptr<SimulatedLine> line_;
  std::unique_ptr<D2xxDriver> backend_;
  std::vector<std::string> port_names_;  // the serial backend's paths, when known
  std::function<std::string(int)> describe_;
  const usbpro::UsbProDriver* widgets_ = nullptr;
  int first_adapter_ = 0;
};

// The driver of a whole run: every adapter the chosen driver finds (with the simulator,
// `sim.adapters` lines with `sim.fixtures` fixtures each and the faults meant for each).
Result<std::unique_ptr<DriverSet>> MakeDriver(const DriverConfig& config);

// How many adapters the chosen driver finds (0 when it cannot tell).
Result<int> CountAdapters(const DriverConfig& config);

// A driver that shows only adapter `adapter` of the choice, as adapter 0: one of them per core
// when every adapter is updated at once. Each has its own clock and, with the simulator, its
// own SimulatedLine holding that adapter's fixtures and faults.
Result<std::unique_ptr<DriverSet>> MakeAdapterDriver(const DriverConfig& config, int adapter);

// The UID of simulated fixture `index` on adapter `adapter`: 4F4C:12345678 for the first, the
// others spread over the device ID so that a discovery has branches to split.
RdmUid SimFixtureUid(int adapter, int index);

}  // namespace quillmont
