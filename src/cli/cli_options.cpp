// SPDX-License-Identifier: Apache-2.0
#include "cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>

#include "app/baud_list.h"
#include "cli/decimal_option.h"
#include "cli/sim_dump.h"
#include "rdm/uid.h"

namespace quillmont::cli {
namespace {

void AddSimulatorOptions(CLI::App& app, GlobalOptions& options) {
  SimOptions& sim = options.drivers.sim;
  const char* group = "Simulator (with --simulate)";
  app.add_option("--sim-fixtures", sim.fixtures, "Fixtures on each simulated line (default 1)")
      ->transform(DecimalNumber())
      ->group(group);
  app.add_option("--sim-adapters", sim.adapters, "Simulated adapters (default 1)")
      ->transform(DecimalNumber())
      ->group(group);
  app.add_option("--sim-faults", sim.faults,
                 "Faults: LIST for adapter 0, N:LIST for adapter N (repeatable); e.g. "
                 "drop=3,noise@20ms or 1:drop-rate=1")
      ->group(group);
  app.add_option("--sim-adapter", sim.adapter,
                 "The adapter the simulated line stands behind: ftdi (default), ftdi-echo, ch340, "
                 "pl2303, widget or widget-clone")
      ->check(CLI::IsMember({"ftdi", "ftdi-echo", "ch340", "pl2303", "widget", "widget-clone"}))
      ->group(group);
  app.add_option("--sim-dump", options.sim_dump,
                 "Write the fixture's 256 KiB flash to this file when the run ends")
      ->group(group);
  app.add_flag("--sim-fast", sim.fast, "Run on a virtual clock: the line's time passes at once")
      ->group(group);
  app.add_option("--sim-label", sim.version_label,
                 "The simulated application's software version label")
      ->group(group);
  app.add_flag("--sim-bootloader", sim.start_in_bootloader,
               "Start the simulated fixture in its bootloader")
      ->group(group);
  app.add_option("--sim-fixture", sim.fixture_settings,
                 "One fixture unlike the others: N:LIST (fixture N of adapter 0) or A:N:LIST, "
                 "LIST of bootloader, refuse-start, model=ID, label=TEXT (repeatable)")
      ->allow_extra_args(false)
      ->group(group);
}

Status CheckBaud(const std::string& baud) {
  if (baud.empty()) {
    return {};
  }
  std::string rates;
  for (const char* rate : kBaudList) {
    if (baud == rate) {
      return {};
    }
    rates += rates.empty() ? rate : std::string(", ") + rate;
  }
  return Error{"--baud " + baud + " is not a rate the adapter is driven at; choose one of " +
               rates};
}

}  // namespace

void AddGlobalOptions(CLI::App& app, GlobalOptions& options) {
  DriverOptions& d = options.drivers;
  app.add_option("--driver", d.driver,
                 "Adapter backend: serial, d2xx, usbpro (DMX USB Pro-style widget) or sim")
      ->check(CLI::IsMember({"serial", "d2xx", "usbpro", "sim"}))
      ->group("Line");
  app.add_flag("--simulate", d.simulate, "Use the built-in simulated fixture (--driver sim)")
      ->group("Line");
  app.add_option("--port", d.ports, "Serial adapter device, e.g. /dev/ttyUSB0 (repeatable)")
      ->group("Line");
  app.add_option("--baud", options.baud, "Line rate, one of the window's list (default 250000)")
      ->group("Line");
  app.add_flag("--rts-direction", d.rts_direction,
               "The adapter's driver enable is switched by RTS (adapters without automatic "
               "direction, on-board UARTs)")
      ->group("Line");
  app.add_option("--widget-baud", d.widget_baud,
                 "With --driver usbpro: the rate of the widget's own USB serial port, for clones "
                 "that need one (e.g. 115200)")
      ->transform(DecimalNumber())
      ->group("Line");
  app.add_option("--uid", options.uids,
                 "Talk to this fixture instead of discovering one: \"XX XX XX XX XX XX\" "
                 "(with flash --all-fixtures, repeatable: only these fixtures)")
      ->allow_extra_args(false)
      ->group("Line");
  app.add_option("--pace", options.pace,
                 "event: act on each reply as soon as it is in (default); tick: the window's "
                 "10 ms tick alone")
      ->check(CLI::IsMember({"event", "tick"}))
      ->group("Line");
  app.add_flag("--json", options.json, "Print one JSON document on standard output");
  app.add_flag("--verbose", options.verbose, "The line layer's diagnostic lines on standard error");
  app.add_flag("--no-history", options.no_history,
               "Record nothing in the update history (see the history command)");
  AddSimulatorOptions(app, options);
}

Result<CliConfig> ReadGlobalOptions(const GlobalOptions& options) {
  if (Status baud = CheckBaud(options.baud); !baud) {
    return baud.error();
  }
  CliConfig config;
  for (const std::string& text : options.uids) {
    const Result<RdmUid> uid = ParseUid(text);
    if (!uid) {
      return Error{"--uid wants six hex bytes, e.g. \"4F 4C 12 34 56 78\""};
    }
    config.uids.push_back(*uid);
  }
  if (options.uids.size() > 1 && !options.all_fixtures) {
    return Error{"--uid may be given more than once only with flash --all-fixtures"};
  }
  if (!options.sim_dump.empty() && !options.drivers.UsesSimulator()) {
    return Error{"--sim-dump needs --simulate"};
  }
  // Before the run, so that an update never ends with a flash that cannot be written.
  if (!options.sim_dump.empty()) {
    if (Status dump = CheckDumpPath(options.sim_dump); !dump) {
      return dump.error();
    }
  }
  Result<DriverConfig> drivers = ParseDriverOptions(options.drivers);
  if (!drivers) {
    return drivers.error();
  }
  config.drivers = std::move(*drivers);
  config.baud = options.baud;
  if (!config.uids.empty()) {
    config.uid = config.uids.front();
  }
  config.all_fixtures = options.all_fixtures;
  config.json = options.json;
  config.verbose = options.verbose;
  config.sim_dump = options.sim_dump;
  config.pacing = options.pace == "tick" ? Pacing::kTick : Pacing::kEvent;
  config.pace_given = !options.pace.empty();
  config.history = !options.no_history;
  return config;
}

}  // namespace quillmont::cli
