// SPDX-License-Identifier: Apache-2.0
#include "cli/doctor_command.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/command_failure.h"
#include "cli/exit_codes.h"
#include "cli/interrupt.h"
#include "cli/json_document.h"
#include "cli/port_notices.h"
#include "cli/station_run.h"
#include "drivers/driver_choice.h"
#include "rdm/uid.h"
#include "station/adapter_check.h"

namespace quillmont::cli {
namespace {

using nlohmann::json;

// A rate read back further than this from the one asked for is not one a fixture decodes.
constexpr double kMostRateError = 0.03;

// One adapter's check with what the user reads of it.
struct DoctorEntry {
  std::string port;
  std::string why_closed;  // why it did not open, as the search told it
  AdapterCheck check;
  std::string problem;  // why updates cannot run through it; empty when they can
};

std::string UsbIds(const AdapterFacts& facts) {
  if (facts.usb_vendor == 0 && facts.usb_product == 0) {
    return "";
  }
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04x:%04x", facts.usb_vendor, facts.usb_product);
  return ids;
}

bool RateExact(const AdapterCheck& check) {
  return check.facts.baud && *check.facts.baud == check.rate;
}

bool RateTooFar(const AdapterCheck& check) {
  if (!check.facts.baud || check.rate == 0) {
    return false;
  }
  const double error = std::fabs(static_cast<double>(*check.facts.baud) - check.rate) / check.rate;
  return error > kMostRateError;
}

std::string ProblemOf(const AdapterCheck& check) {
  if (!check.opened) {
    return "it cannot be opened";
  }
  if (check.breaks == BreakCheck::kRefused || check.breaks == BreakCheck::kNeverArrive) {
    return "the adapter cannot send a break";
  }
  if (RateTooFar(check)) {
    return "it runs at " + std::to_string(*check.facts.baud) + " baud, not " +
           std::to_string(check.rate);
  }
  return "";
}

// Why the search could not open `port`: what it told while the check tried (from line `from` of
// the notices on), or an earlier line about the port, or a plain reason.
std::string WhyClosed(const PortNotices* notices, size_t from, const std::string& port) {
  if (notices != nullptr) {
    const std::vector<std::string> lines = notices->Lines();
    if (from < lines.size()) {
      return lines.back();
    }
    for (const std::string& line : lines) {
      if (line.rfind(port + ":", 0) == 0) {
        return line;
      }
    }
  }
  return port + ": cannot be opened";
}

std::vector<DoctorEntry> CheckAll(DriverSet& drivers, const RunSettings& settings,
                                  const PortNotices* notices) {
  const int count = CountAdapters(drivers);
  std::vector<DoctorEntry> entries;
  for (int i = 0; i < count && !settings.StopRequested(); ++i) {
    const size_t told = notices != nullptr ? notices->Lines().size() : 0;
    DoctorEntry entry;
    entry.check = CheckAdapter(drivers, i, settings);
    entry.port = !entry.check.facts.port.empty() ? entry.check.facts.port : drivers.PortName(i);
    if (!entry.check.opened) {
      entry.why_closed = WhyClosed(notices, told, entry.port);
    }
    entry.problem = ProblemOf(entry.check);
    entries.push_back(std::move(entry));
  }
  return entries;
}

struct DoctorVerdict {
  int code = kExitSuccess;
  std::string text;
};

DoctorVerdict Judge(const std::vector<DoctorEntry>& entries) {
  if (PendingInterrupt() != 0) {
    return {InterruptExitCode(PendingInterrupt()), InterruptText(PendingInterrupt())};
  }
  if (entries.empty()) {
    return {kExitNoAdapter, "Updates cannot run: no adapter found."};
  }
  size_t fixtures = 0;
  for (const DoctorEntry& entry : entries) {
    if (!entry.problem.empty()) {
      return {kExitNoAdapter, "Updates cannot run: " + entry.port + ": " + entry.problem + "."};
    }
    fixtures += entry.check.discovery.found.size();
  }
  if (fixtures == 0) {
    return {kExitNoDevice, "Updates cannot run: no fixture answered."};
  }
  return {kExitSuccess, "Updates can run: " + std::to_string(fixtures) +
                            (fixtures == 1 ? " fixture" : " fixtures") + " on " +
                            std::to_string(entries.size()) +
                            (entries.size() == 1 ? " adapter." : " adapters.")};
}

const char* BreakName(BreakCheck breaks) {
  switch (breaks) {
    case BreakCheck::kArrive:
      return "arrive";
    case BreakCheck::kNeverArrive:
      return "never arrive";
    case BreakCheck::kRefused:
      return "refused";
    case BreakCheck::kNotTestable:
      break;
  }
  return "not tested";
}

std::string EchoText(const AdapterCheck& check) {
  if (!check.echo) {
    return "not known (nothing came back from the adapter)";
  }
  return *check.echo ? "yes: the adapter hears its own transmission (echo)"
                     : "no echo: the adapter does not hear its own transmission";
}

std::string BreakText(const AdapterCheck& check) {
  switch (check.breaks) {
    case BreakCheck::kArrive:
      return "arrive (each reads back as a NUL before the echo)";
    case BreakCheck::kNeverArrive:
      return "never arrive: the echo has no NUL before it; the adapter cannot send a break";
    case BreakCheck::kRefused:
      return "refused: the adapter cannot send a break";
    case BreakCheck::kNotTestable:
      break;
  }
  return check.facts.backend == "usbpro" ? "made by the widget itself"
                                         : "cannot be checked on an adapter without echo";
}

std::string RateText(const AdapterCheck& check) {
  if (!check.facts.baud) {
    return std::to_string(check.rate) + " baud asked for; the backend cannot read it back";
  }
  return std::to_string(*check.facts.baud) + " baud read back" +
         (RateExact(check) ? ": exact" : ", not " + std::to_string(check.rate));
}

std::string ChipText(const AdapterFacts& facts) {
  std::string chip = facts.chip.empty() ? "not known" : facts.chip;
  return facts.driver.empty() ? chip : chip + " (driver " + facts.driver + ")";
}

void PrintEntry(std::ostream& out, const DoctorEntry& entry) {
  const AdapterCheck& check = entry.check;
  out << entry.port << '\n';
  if (!check.opened) {
    out << "  opens      no: " << entry.why_closed << '\n';
    return;
  }
  const std::string ids = UsbIds(check.facts);
  out << "  backend    " << check.facts.backend << '\n'
      << "  chip       " << ChipText(check.facts) << '\n'
      << "  USB IDs    " << (ids.empty() ? "not known" : ids) << '\n'
      << "  opens      yes\n"
      << "  rate       " << RateText(check) << '\n'
      << "  latency    "
      << (check.facts.latency_timer_ms ? std::to_string(*check.facts.latency_timer_ms) + " ms"
                                       : std::string("not known"))
      << '\n'
      << "  echo       " << EchoText(check) << '\n'
      << "  breaks     " << BreakText(check) << '\n';
  for (const std::string& note : check.facts.notes) {
    out << "  note       " << note << '\n';
  }
  for (const std::string& notice : check.notices) {
    out << "  note       " << notice << '\n';
  }
  out << "  fixtures   " << check.discovery.found.size() << '\n';
  for (const RdmUid& uid : check.discovery.found) {
    out << "    " << FormatUid(uid) << '\n';
  }
}

std::string GrabberText(const SerialGrabber& grabber) {
  if (!grabber.running && !grabber.installed) {
    return grabber.name + ": not found";
  }
  return grabber.name + ": " + (grabber.running ? "running" : "installed") +
         "; it can grab a serial adapter" +
         (grabber.name == "brltty" ? " (CH340 adapters above all; see the README)"
                                   : " (Quillmont's udev rule keeps it off)");
}

json EntryJson(const DoctorEntry& entry) {
  const AdapterCheck& check = entry.check;
  json uids = json::array();
  for (const RdmUid& uid : check.discovery.found) {
    uids.push_back(FormatUid(uid));
  }
  const std::string ids = UsbIds(check.facts);
  json doc{{"port", entry.port},
           {"opened", check.opened},
           {"backend", check.facts.backend},
           {"chip", check.facts.chip},
           {"driver", check.facts.driver},
           {"usb_ids", ids.empty() ? json(nullptr) : json(ids)},
           {"baud", check.facts.baud ? json(*check.facts.baud) : json(nullptr)},
           {"baud_exact", check.facts.baud ? json(RateExact(check)) : json(nullptr)},
           {"latency_timer_ms",
            check.facts.latency_timer_ms ? json(*check.facts.latency_timer_ms) : json(nullptr)},
           {"echo", check.echo ? json(*check.echo) : json(nullptr)},
           {"breaks", BreakName(check.breaks)},
           {"notes", check.facts.notes},
           {"notices", check.notices},
           {"devices", uids},
           {"problem", entry.problem.empty() ? json(nullptr) : json(entry.problem)}};
  if (!check.opened) {
    doc["open_error"] = entry.why_closed;
  }
  return doc;
}

int PrintDoctor(CliOutput io, bool as_json, const std::vector<DoctorEntry>& entries,
                const std::vector<SerialGrabber>& grabbers, const DoctorVerdict& verdict) {
  if (as_json) {
    json adapters = json::array();
    for (const DoctorEntry& entry : entries) {
      adapters.push_back(EntryJson(entry));
    }
    json services = json::array();
    for (const SerialGrabber& grabber : grabbers) {
      services.push_back(
          {{"name", grabber.name}, {"running", grabber.running}, {"installed", grabber.installed}});
    }
    return PrintDocument(io, json{{"command", "doctor"},
                                  {"adapters", adapters},
                                  {"services", services},
                                  {"verdict", verdict.text},
                                  {"exit_code", verdict.code}});
  }
  for (const DoctorEntry& entry : entries) {
    PrintEntry(io.out, entry);
  }
  for (const SerialGrabber& grabber : grabbers) {
    io.out << GrabberText(grabber) << '\n';
  }
  io.out << verdict.text << '\n';
  return verdict.code;
}

int RunDoctor(const CliConfig& config, CliOutput io) {
  Result<std::unique_ptr<DriverSet>> drivers = MakeDriver(config.drivers);
  if (!drivers) {
    return FailCommand(config, io, "doctor", kExitNoAdapter, drivers.error().message);
  }
  const StationRun run(config, io);
  const std::vector<DoctorEntry> entries = CheckAll(**drivers, run.settings(), io.notices);
  return PrintDoctor(io, config.json, entries, FindSerialGrabbers(), Judge(entries));
}

}  // namespace

CliCommand AddDoctorCommand(CLI::App& app, CliOutput io) {
  CLI::App* sub = app.add_subcommand(
      "doctor",
      "Check every adapter (or those --port names): what it is, whether it opens, its rate, "
      "latency timer, echo and breaks, the fixtures on it, and whether updates can run");
  return CliCommand{sub, [io](const CliConfig& config) { return RunDoctor(config, io); }};
}

}  // namespace quillmont::cli
