// SPDX-License-Identifier: Apache-2.0
#include "cli/flash_command.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "base/whole_number.h"
#include "cli/adapter_lines.h"
#include "cli/command_failure.h"
#include "cli/console_renderer.h"
#include "cli/decimal_option.h"
#include "cli/exit_codes.h"
#include "cli/flash_report.h"
#include "cli/json_document.h"
#include "cli/rig_command.h"
#include "cli/sim_dump.h"
#include "cli/station_run.h"
#include "station/flash_run.h"

namespace quillmont::cli {
namespace {

using nlohmann::json;

// The flash options beside FILE, as typed.
struct FlashOptions {
  FlashRequest request;
  std::string model;
  CLI::Option* model_option = nullptr;
  CLI::Option* skip_option = nullptr;
  CLI::Option* dry_option = nullptr;
  CLI::Option* expect_option = nullptr;
  std::string skip;
  int expect = 0;
};

void AddFlashOptions(CLI::App& sub, GlobalOptions& options, FlashOptions& flash) {
  sub.add_option("FILE", flash.request.path, "The .srec2 firmware file")->required();
  sub.add_flag("--all-adapters", flash.request.all_adapters,
               "Update the fixture on every adapter at once, one run per adapter");
  sub.add_flag("--all-fixtures", options.all_fixtures,
               "Update every fixture on the line, one after another (with --all-adapters, on "
               "every adapter's line at once)");
  flash.model_option = sub.add_option(
      "--model", flash.model,
      "With --all-fixtures: only fixtures with this device model ID (DEVICE_INFO; decimal, or "
      "hex after 0x)");
  flash.skip_option = sub.add_option(
      "--skip-version", flash.skip,
      "With --all-fixtures: pass over fixtures that already run this software version label");
  flash.dry_option = sub.add_flag(
      "--dry-run", flash.request.dry_run,
      "With --all-fixtures: list what would be updated and why; send nothing beyond discovery "
      "and GET requests");
  flash.expect_option =
      sub.add_option("--expect", flash.expect,
                     "With --all-fixtures: the number of fixtures the discovery must find (on "
                     "every line together); another number stops the run before anything is "
                     "flashed")
          ->transform(DecimalNumber())
          ->check(CLI::Range(0, 65535));
  sub.add_flag("--allow-unterminated", flash.request.allow_unterminated,
               "Flash a file that has no end record, or whose count record disagrees (it may "
               "be cut short)");
}

// The rig's options read; the exit status when they cannot be.
int RunFlash(const FlashOptions& flash, const CliConfig& config, CliOutput io) {
  const bool rig_only = flash.model_option->count() + flash.skip_option->count() +
                            flash.dry_option->count() + flash.expect_option->count() >
                        0;
  if (rig_only && !config.all_fixtures) {
    return FailCommand(config, io, "flash", kExitBadArguments,
                       "--model, --skip-version, --dry-run and --expect need --all-fixtures");
  }
  if (!config.all_fixtures) {
    return flash.request.all_adapters ? RunFlashAllAdapters(flash.request, config, io)
                                      : RunFlashCommand(flash.request, config, io);
  }
  FlashRequest request = flash.request;
  if (flash.model_option->count() > 0) {
    uint32_t id = 0;
    if (!ParseWholeNumber(flash.model, 0xFFFF, id)) {
      return FailCommand(config, io, "flash", kExitBadArguments,
                         "--model wants a device model ID: 0 to 65535, or 0x0000 to 0xFFFF");
    }
    request.model_id = static_cast<uint16_t>(id);
  }
  if (flash.skip_option->count() > 0) {
    request.skip_version = flash.skip;
  }
  if (flash.expect_option->count() > 0) {
    request.expect = flash.expect;
  }
  return RunFlashAllFixtures(request, config, io);
}

}  // namespace

CliCommand AddFlashCommand(CLI::App& app, GlobalOptions& options, CliOutput io) {
  auto flash = std::make_shared<FlashOptions>();
  CLI::App* sub = app.add_subcommand(
      "flash", "Update the firmware of the fixture (discovered, or --uid) with a .srec2 file");
  AddFlashOptions(*sub, options, *flash);
  return CliCommand{sub,
                    [flash, io](const CliConfig& config) { return RunFlash(*flash, config, io); }};
}

Result<FirmwareFile> LoadRunFile(const FlashRequest& request) {
  Result<FirmwareFile> file = LoadFirmwareFile(request.path);
  if (!file) {
    return file.error();
  }
  if (const Status ending = CheckFileEnding(*file, request.allow_unterminated); !ending) {
    return Error{ending.error().message +
                 " Nothing was sent; give --allow-unterminated to flash it all the same."};
  }
  if (const Status erased = CheckErased(*file); !erased) {
    return erased.error();
  }
  return file;
}

int RunFlashCommand(const FlashRequest& request, const CliConfig& config, CliOutput io) {
  const Result<FirmwareFile> file = LoadRunFile(request);
  if (!file) {
    return EarlyFailure(config, io, request.path, kExitBadFile, "bad file", file.error().message);
  }
  Result<std::unique_ptr<DriverSet>> drivers = MakeDriver(config.drivers);
  if (!drivers) {
    return EarlyFailure(config, io, request.path, kExitNoAdapter, "no adapter",
                        drivers.error().message);
  }
  const StationRun run(config, io, true);
  ConsoleRenderer console(io, config.json, ConsoleRenderer::Layout::kOneLine);
  const FlashResult r = RunFlash(**drivers, *file, config.uid, run.settings(), console);
  console.EndLiveLine();
  if (r.updated) {
    DumpFixtureFlash(**drivers, r.uid, config.sim_dump, io.err);
  }
  const int code = ExitCodeOf(r);
  if (code != kExitSuccess) {
    io.err << DetailOf(r) << '\n';
  }
  if (config.json) {
    json doc = ResultJson(r);
    doc["command"] = "flash";
    doc["file"] = file->path;
    doc["sha256"] = file->sha256;
    doc["log"] = r.log;
    return PrintDocument(io, doc);
  }
  PrintSummary(io.out, io.utf8, *file, r);
  return code;
}

int RunFlashAllAdapters(const FlashRequest& request, const CliConfig& config, CliOutput io) {
  const Result<FirmwareFile> file = LoadRunFile(request);
  if (!file) {
    return EarlyFailure(config, io, request.path, kExitBadFile, "bad file", file.error().message);
  }
  const Result<int> counted = CountAdapters(config.drivers);
  const int count = counted ? *counted : -1;
  if (count <= 0) {
    return EarlyFailure(config, io, request.path, kExitNoAdapter, "no adapter",
                        counted ? "No USB-to-RS485 adapter found." : counted.error().message);
  }
  AdapterLines adapters = MakeAdapterLines(config, count);
  const StationRun run(config, io, true);
  const bool block = !config.json && io.live;
  ConsoleRenderer console(
      io, config.json, block ? ConsoleRenderer::Layout::kBlock : ConsoleRenderer::Layout::kPrefixed,
      count);
  const std::vector<FlashResult> ran =
      FlashEveryLine(adapters.lines, *file, config.uid, run.settings(), console);
  std::vector<FlashResult> results = adapters.failed;
  int exit_code = kExitSuccess;
  for (size_t l = 0; l < ran.size(); ++l) {
    const auto i = static_cast<size_t>(adapters.lines[l].adapter);
    results[i] = ran[l];
    if (ran[l].updated) {
      DumpFixtureFlash(*adapters.sets[l], ran[l].uid,
                       AdapterDumpPath(config.sim_dump, adapters.lines[l].adapter), io.err);
    }
  }
  for (const FlashResult& r : results) {
    if (ExitCodeOf(r) != kExitSuccess && exit_code == kExitSuccess) {
      exit_code = ExitCodeOf(r);
    }
  }
  if (!config.json) {
    PrintAdapterTable(io.out, *file, results);
    return exit_code;
  }
  json items = json::array();
  for (size_t i = 0; i < results.size(); ++i) {
    json item = ResultJson(results[i]);
    item["adapter"] = i;
    item["name"] = adapters.names[i];
    items.push_back(item);
  }
  return PrintDocument(io, json{{"command", "flash"},
                                {"all_adapters", true},
                                {"file", file->path},
                                {"sha256", file->sha256},
                                {"adapters", items},
                                {"exit_code", exit_code}});
}

}  // namespace quillmont::cli
