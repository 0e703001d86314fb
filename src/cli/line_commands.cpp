// SPDX-License-Identifier: Apache-2.0
#include "cli/line_commands.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/command_failure.h"
#include "cli/decimal_option.h"
#include "cli/exit_codes.h"
#include "cli/flash_report.h"
#include "cli/interrupt.h"
#include "cli/json_document.h"
#include "cli/station_run.h"
#include "station/line_discovery.h"

namespace quillmont::cli {
namespace {

using nlohmann::json;

int RunList(const CliConfig& config, CliOutput io) {
  Result<std::unique_ptr<DriverSet>> drivers = MakeDriver(config.drivers);
  if (!drivers) {
    return FailCommand(config, io, "list", kExitNoAdapter, drivers.error().message);
  }
  const std::vector<std::string> names = (*drivers)->AdapterNames();
  if (config.json) {
    return PrintDocument(
        io, json{{"command", "list"}, {"adapters", names}, {"exit_code", kExitSuccess}});
  }
  if (names.empty()) {
    io.out << "No adapter found.\n";
  } else {
    for (size_t i = 0; i < names.size(); ++i) {
      io.out << i << "  " << names[i] << '\n';
    }
  }
  return kExitSuccess;
}

json UidList(const std::vector<RdmUid>& uids) {
  json list = json::array();
  for (const RdmUid& uid : uids) {
    list.push_back(FormatUid(uid));
  }
  return list;
}

// Why the discovery is a failure, or "" when it is not: a signal, no fixture, or another
// number of fixtures than `expect`.
struct DiscoverVerdict {
  int code = kExitSuccess;
  std::string result;
  std::string detail;
};

DiscoverVerdict JudgeDiscovery(const FullDiscoveryResult& result, std::optional<int> expect) {
  const auto found = static_cast<int>(result.found.size() + result.unresponsive.size());
  if (result.stopped && PendingInterrupt() != 0) {
    return {InterruptExitCode(PendingInterrupt()), "interrupted",
            InterruptText(PendingInterrupt())};
  }
  if (expect && *expect != found) {
    return {kExitCountMismatch, "count mismatch",
            "The discovery found " + std::to_string(found) +
                (found == 1 ? " fixture" : " fixtures") + ", not the " + std::to_string(*expect) +
                " expected."};
  }
  if (result.found.empty()) {
    return {kExitNoDevice, "", ""};
  }
  return {};
}

int RunDiscover(const CliConfig& config, CliOutput io, std::optional<int> expect) {
  Result<std::unique_ptr<DriverSet>> drivers = MakeDriver(config.drivers);
  if (!drivers) {
    return FailCommand(config, io, "discover", kExitNoAdapter, drivers.error().message);
  }
  const StationRun run(config, io);
  const Result<LineDiscovery> discovery = DiscoverLine(**drivers, run.settings());
  if (!discovery) {
    return FailCommand(config, io, "discover", kExitNoAdapter, discovery.error().message);
  }
  for (const std::string& notice : discovery->notices) {
    io.err << notice << '\n';
  }
  const FullDiscoveryResult& result = discovery->result;
  const DiscoverVerdict verdict = JudgeDiscovery(result, expect);
  const int code = verdict.code;
  if (config.json) {
    if (!verdict.detail.empty()) {
      io.err << verdict.detail << '\n';
    }
    json doc{{"command", "discover"},
             {"adapter", discovery->adapter},
             {"devices", UidList(result.found)},
             {"unresponsive", UidList(result.unresponsive)},
             {"requests", result.requests},
             {"collisions", result.collisions},
             {"passes", result.passes},
             {"complete", result.complete},
             {"seconds", discovery->seconds},
             {"exit_code", code}};
    if (expect) {
      doc["expected"] = *expect;
    }
    if (!verdict.result.empty()) {
      doc["result"] = verdict.result;
      doc["detail"] = verdict.detail;
    }
    return PrintDocument(io, std::move(doc));
  }
  for (const RdmUid& uid : result.found) {
    io.out << FormatUid(uid) << '\n';
  }
  for (const RdmUid& uid : result.unresponsive) {
    io.out << FormatUid(uid) << "  (answered, but would not be muted)\n";
  }
  char line[160];
  std::snprintf(line, sizeof line, "%zu device%s, %d requests, %d collisions, %.2f s%s\n",
                result.found.size(), result.found.size() == 1 ? "" : "s", result.requests,
                result.collisions, discovery->seconds,
                result.stopped    ? " (stopped)"
                : result.complete ? ""
                                  : " (request budget used up)");
  io.err << line;
  if (!verdict.detail.empty()) {
    io.err << verdict.detail << '\n';
  }
  return code;
}

}  // namespace

CliCommand AddListCommand(CLI::App& app, CliOutput io) {
  CLI::App* sub = app.add_subcommand("list", "List the adapters the chosen driver finds");
  return CliCommand{sub, [io](const CliConfig& config) { return RunList(config, io); }};
}

CliCommand AddDiscoverCommand(CLI::App& app, CliOutput io) {
  CLI::App* sub = app.add_subcommand(
      "discover", "Find every fixture on the line (full RDM discovery) and list their UIDs");
  // Bound to no variable: the search is always the whole range, and a flag bound to a local
  // would be written after the local is gone.
  sub->add_flag("--all")->description(
      "Search the whole UID range (the only search there is; optional)");
  auto expect = std::make_shared<int>(0);
  CLI::Option* expect_option =
      sub->add_option("--expect", *expect,
                      "The number of fixtures the discovery must find; another number is a "
                      "failure (exit 12)")
          ->transform(DecimalNumber())
          ->check(CLI::Range(0, 65535));
  return CliCommand{sub, [io, expect, expect_option](const CliConfig& config) {
                      return RunDiscover(
                          config, io,
                          expect_option->count() > 0 ? std::optional<int>(*expect) : std::nullopt);
                    }};
}

}  // namespace quillmont::cli
