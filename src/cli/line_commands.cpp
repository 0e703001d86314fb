#include "cli/line_commands.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/command_failure.h"
#include "cli/exit_codes.h"
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

int RunDiscover(const CliConfig& config, CliOutput io) {
  Result<std::unique_ptr<DriverSet>> drivers = MakeDriver(config.drivers);
  if (!drivers) {
    return FailCommand(config, io, "discover", kExitNoAdapter, drivers.error().message);
  }
  const StationRun run(config, io);
  const Result<LineDiscovery> discovery = DiscoverLine(**drivers, run.settings());
  if (!discovery) {
    return FailCommand(config, io, "discover", kExitNoAdapter, discovery.error().message);
  }
  const FullDiscoveryResult& result = discovery->result;
  const int code = result.found.empty() ? kExitNoDevice : kExitSuccess;
  if (config.json) {
    return PrintDocument(io, json{{"command", "discover"},
                                  {"adapter", discovery->adapter},
                                  {"devices", UidList(result.found)},
                                  {"unresponsive", UidList(result.unresponsive)},
                                  {"requests", result.requests},
                                  {"collisions", result.collisions},
                                  {"passes", result.passes},
                                  {"complete", result.complete},
                                  {"seconds", discovery->seconds},
                                  {"exit_code", code}});
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
                result.complete ? "" : " (request budget used up)");
  io.err << line;
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
  return CliCommand{sub, [io](const CliConfig& config) { return RunDiscover(config, io); }};
}

}  // namespace quillmont::cli
