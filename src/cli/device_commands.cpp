// SPDX-License-Identifier: Apache-2.0
#include "cli/device_commands.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/command_failure.h"
#include "cli/console_renderer.h"
#include "cli/decimal_option.h"
#include "cli/exit_codes.h"
#include "cli/json_document.h"
#include "cli/station_run.h"
#include "rdm/fixture_text.h"
#include "station/fixture_commands.h"

namespace quillmont::cli {
namespace {

using nlohmann::json;

// A failed command's report: the reason, and the document with --json.
int Failed(const CliConfig& config, CliOutput io, const char* command,
           const FixtureReport& report) {
  return FailCommand(config, io, command, ExitCodeOf(report), DetailOf(report));
}

int RunInfo(const CliConfig& config, CliOutput io) {
  Result<std::unique_ptr<DriverSet>> drivers = MakeDriver(config.drivers);
  if (!drivers) {
    return FailCommand(config, io, "info", kExitNoAdapter, drivers.error().message);
  }
  const StationRun run(config, io);
  ConsoleRenderer console(io, config.json, ConsoleRenderer::Layout::kQuiet);
  const FixtureReport report = ReadFixture(**drivers, config.uid, run.settings(), console);
  if (report.verdict != FixtureVerdict::kDone && report.verdict != FixtureVerdict::kInBootloader) {
    return Failed(config, io, "info", report);
  }
  const DeviceInfo& info = report.info;
  const int code = ExitCodeOf(report);
  if (report.in_bootloader) {
    io.err << report.detail << '\n';
  }
  if (config.json) {
    return PrintDocument(
        io, json{{"command", "info"},
                 {"uid", info.uid},
                 {"model", JsonText(info.model)},
                 {"software_version", JsonText(info.software_version)},
                 {"dmx_address", info.has_address ? json(info.dmx_address) : json(nullptr)},
                 {"in_bootloader", report.in_bootloader},
                 {"result", report.in_bootloader ? "in bootloader" : "success"},
                 {"exit_code", code}});
  }
  io.out << "UID:               " << info.uid << '\n'
         << "Model:             "
         << (info.has_model ? TerminalText(info.model, io.utf8) : std::string("(not told)")) << '\n'
         << "Software version:  " << TerminalText(info.software_version, io.utf8) << '\n'
         << "DMX address:       "
         << (info.has_address ? std::to_string(info.dmx_address) : std::string("(not told)"))
         << '\n';
  if (report.in_bootloader) {
    io.out << "Mode:              bootloader (no application running)\n";
  }
  return code;
}

// Sends a SET through the window's own handler and reports its answer.
int RunSet(const CliConfig& config, CliOutput io, const char* command, const FixtureSet& request,
           const std::string& done_text, json extra) {
  Result<std::unique_ptr<DriverSet>> drivers = MakeDriver(config.drivers);
  if (!drivers) {
    return FailCommand(config, io, command, kExitNoAdapter, drivers.error().message);
  }
  const StationRun run(config, io);
  ConsoleRenderer console(io, config.json, ConsoleRenderer::Layout::kQuiet);
  const FixtureReport report =
      SetOnFixture(**drivers, config.uid, run.settings(), console, request);
  if (report.verdict != FixtureVerdict::kDone) {
    return Failed(config, io, command, report);
  }
  if (config.json) {
    extra["command"] = command;
    extra["uid"] = report.uid;
    extra["result"] = "acknowledged";
    extra["exit_code"] = kExitSuccess;
    return PrintDocument(io, extra);
  }
  io.out << report.uid << ": " << done_text << '\n';
  return kExitSuccess;
}

}  // namespace

CliCommand AddInfoCommand(CLI::App& app, CliOutput io) {
  CLI::App* sub = app.add_subcommand(
      "info",
      "Find the one fixture as the window does and show its UID, model, software "
      "version and DMX address");
  return CliCommand{sub, [io](const CliConfig& config) { return RunInfo(config, io); }};
}

CliCommand AddIdentifyCommand(CLI::App& app, CliOutput io) {
  auto state = std::make_shared<std::string>();
  CLI::App* sub = app.add_subcommand("identify", "Switch the fixture's identify mode on or off");
  sub->add_option("STATE", *state, "on or off")->required()->check(CLI::IsMember({"on", "off"}));
  return CliCommand{sub, [state, io](const CliConfig& config) {
                      const bool on = *state == "on";
                      FixtureSet request;
                      request.kind = FixtureSet::Kind::kIdentify;
                      request.identify_on = on;
                      return RunSet(config, io, "identify", request,
                                    on ? "identify on" : "identify off", json{{"identify", on}});
                    }};
}

CliCommand AddSetAddressCommand(CLI::App& app, CliOutput io) {
  auto address = std::make_shared<int>(0);
  CLI::App* sub = app.add_subcommand("set-address", "Set the fixture's DMX start address");
  sub->add_option("N", *address, "The DMX start address, 1 to 512, in decimal")
      ->required()
      ->transform(DecimalNumber())
      ->check(CLI::Range(1, 512));
  return CliCommand{sub, [address, io](const CliConfig& config) {
                      const int n = *address;
                      FixtureSet request;
                      request.kind = FixtureSet::Kind::kDmxAddress;
                      request.address = static_cast<uint16_t>(n);
                      return RunSet(config, io, "set-address", request,
                                    "DMX address set to " + std::to_string(n),
                                    json{{"dmx_address", n}});
                    }};
}

}  // namespace quillmont::cli
