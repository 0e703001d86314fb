#include "cli/line_commands.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/baud_list.h"
#include "app/decimal_text.h"
#include "cli/command_failure.h"
#include "cli/exit_codes.h"
#include "link/line.h"
#include "rdm/full_discovery.h"

namespace quillmont::cli {
namespace {

using nlohmann::json;

int RunList(const GlobalOptions& options, CliOutput io) {
  Result<std::unique_ptr<DriverSet>> drivers = MakeDriver(options.drivers);
  if (!drivers) {
    return FailCommand(options, io, "list", kExitNoAdapter, drivers.error().message);
  }
  const std::vector<std::string> names = (*drivers)->AdapterNames();
  if (options.json) {
    io.out << json{{"command", "list"}, {"adapters", names}, {"exit_code", kExitSuccess}}.dump(2)
           << '\n';
  } else if (names.empty()) {
    io.out << "No adapter found.\n";
  } else {
    for (size_t i = 0; i < names.size(); ++i) {
      io.out << i << "  " << names[i] << '\n';
    }
  }
  return kExitSuccess;
}

int RunDiscover(const GlobalOptions& options, CliOutput io) {
  Result<std::unique_ptr<DriverSet>> made = MakeDriver(options.drivers);
  if (!made) {
    return FailCommand(options, io, "discover", kExitNoAdapter, made.error().message);
  }
  DriverSet& drivers = **made;
  std::ostream null_stream(nullptr);
  LineIo line_io{drivers.driver(), drivers.clock(), options.verbose ? io.err : null_stream};

  // The first adapter that opens, at the window's rate.
  uint32_t count = 0;
  drivers.driver().FT_CreateDeviceInfoList(&count);
  LinkHandle link = nullptr;
  int adapter = -1;
  for (uint32_t i = 0; i < count && i < 1024 && link == nullptr; ++i) {
    if (OpenLink(line_io, link, static_cast<int>(i))) {
      adapter = static_cast<int>(i);
    }
  }
  if (link == nullptr) {
    return FailCommand(options, io, "discover", kExitNoAdapter,
                       "No USB-to-RS485 adapter could be opened.");
  }
  const std::string baud = options.baud.empty() ? kDefaultBaudText : options.baud;
  (void)SetLinkBaud(line_io, link, DecimalTextValue(baud));  // a refused rate finds nobody

  const uint64_t started = drivers.clock().NowMicros();
  const FullDiscoveryResult result = DiscoverAllDevices(line_io, link);
  const double seconds = static_cast<double>(drivers.clock().NowMicros() - started) / 1e6;
  drivers.driver().FT_Close(link);
  for (const std::string& notice : TakeLineNotices(line_io)) {
    io.err << notice << '\n';
  }

  const int code = result.found.empty() ? kExitNoDevice : kExitSuccess;
  if (options.json) {
    json found = json::array();
    for (const RdmUid& uid : result.found) {
      found.push_back(FormatUid(uid));
    }
    json unresponsive = json::array();
    for (const RdmUid& uid : result.unresponsive) {
      unresponsive.push_back(FormatUid(uid));
    }
    io.out << json{{"command", "discover"},
                   {"adapter", adapter},
                   {"devices", found},
                   {"unresponsive", unresponsive},
                   {"requests", result.requests},
                   {"collisions", result.collisions},
                   {"passes", result.passes},
                   {"complete", result.complete},
                   {"seconds", seconds},
                   {"exit_code", code}}
                  .dump(2)
           << '\n';
  } else {
    for (const RdmUid& uid : result.found) {
      io.out << FormatUid(uid) << '\n';
    }
    for (const RdmUid& uid : result.unresponsive) {
      io.out << FormatUid(uid) << "  (answered, but would not be muted)\n";
    }
    char line[160];
    std::snprintf(line, sizeof line, "%zu device%s, %d requests, %d collisions, %.2f s%s\n",
                  result.found.size(), result.found.size() == 1 ? "" : "s", result.requests,
                  result.collisions, seconds, result.complete ? "" : " (request budget used up)");
    io.err << line;
  }
  return code;
}

}  // namespace

CliCommand AddListCommand(CLI::App& app, const GlobalOptions& options, CliOutput io) {
  CLI::App* sub = app.add_subcommand("list", "List the adapters the chosen driver finds");
  return CliCommand{sub, [&options, io] { return RunList(options, io); }};
}

CliCommand AddDiscoverCommand(CLI::App& app, const GlobalOptions& options, CliOutput io) {
  CLI::App* sub = app.add_subcommand(
      "discover", "Find every fixture on the line (full RDM discovery) and list their UIDs");
  // Bound to no variable: the search is always the whole range, and a flag bound to a local
  // would be written after the local is gone.
  sub->add_flag("--all")->description(
      "Search the whole UID range (the only search there is; optional)");
  return CliCommand{sub, [&options, io] { return RunDiscover(options, io); }};
}

}  // namespace quillmont::cli
