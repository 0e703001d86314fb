// SPDX-License-Identifier: Apache-2.0
#include "cli/flash_report.h"

#include <cstdio>

#include "cli/console_text.h"
#include "cli/exit_codes.h"
#include "cli/json_document.h"
#include "rdm/fixture_text.h"

namespace quillmont::cli {

using nlohmann::json;

namespace {

// What the run does with a fixture, as the plan shows it.
const char* Action(const RigFixture& f) {
  return !f.selected       ? "skip"
         : !f.answered     ? "cannot update"
         : f.in_bootloader ? "update first"
                           : "update";
}

// A fixture's model description as a terminal shows it.
std::string Model(const std::string& model, bool utf8) {
  return model.empty() ? "-" : TerminalText(model, utf8);
}

}  // namespace

json ResultJson(const FlashResult& r) {
  return json{{"uid", r.uid},
              {"result", VerdictName(r.verdict)},
              {"detail", DetailOf(r)},
              {"exit_code", ExitCodeOf(r)},
              {"seconds", r.seconds},
              {"bytes_sent", r.sent},
              {"bytes_total", r.total},
              {"flash_checked", r.flash_checked},
              {"software_version_before", JsonText(r.version_before)},
              {"software_version_after", JsonText(r.version_after)}};
}

json EntryJson(const RigEntry& entry, bool all_adapters) {
  const RigFixture& f = entry.fixture;
  json item = ResultJson(entry.result);
  if (all_adapters) {
    item["adapter"] = f.adapter;
  }
  item["model"] = JsonText(f.model);
  item["model_id"] = f.model_id ? json(*f.model_id) : json(nullptr);
  item["in_bootloader"] = f.in_bootloader;
  item["selected"] = f.selected;
  item["reason"] = f.reason;
  return item;
}

int EarlyFailure(const CliConfig& config, CliOutput io, const std::string& path, int code,
                 const char* result, const std::string& detail) {
  io.err << detail << '\n';
  if (config.json) {
    return PrintDocument(io, json{{"command", "flash"},
                                  {"file", path},
                                  {"result", result},
                                  {"detail", detail},
                                  {"exit_code", code}});
  }
  return code;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

std::string Told(const std::string& version, bool utf8) {
  return version.empty() ? "(not told)" : TerminalText(version, utf8);
}

void PrintSummary(std::ostream& out, bool utf8, const FirmwareFile& file, const FlashResult& r) {
  out << "\nFixture:  " << (r.uid.empty() ? "-" : r.uid) << '\n'
      << "File:     " << file.path << '\n'
      << "SHA-256:  " << file.sha256 << '\n'
      << "Sent:     " << r.sent << " bytes in program requests (" << r.total << " loaded)\n"
      << "Time:     " << Seconds(r.seconds) << '\n'
      << "Software version: " << Told(r.version_before, utf8) << " -> "
      << Told(r.version_after, utf8) << '\n'
      << "Result:   " << VerdictName(r.verdict) << ": " << DetailOf(r) << '\n';
}

void PrintAdapterTable(std::ostream& out, const FirmwareFile& file,
                       const std::vector<FlashResult>& results) {
  out << "\nFile:     " << file.path << "\nSHA-256:  " << file.sha256 << "\n\n";
  char row[160];
  std::snprintf(row, sizeof row, "%-7s  %-17s  %-14s  %8s  %s\n", "adapter", "fixture", "result",
                "time", "detail");
  out << row;
  for (size_t i = 0; i < results.size(); ++i) {
    const FlashResult& r = results[i];
    std::snprintf(row, sizeof row, "%-7zu  %-17s  %-14s  %8s  ", i,
                  r.uid.empty() ? "-" : r.uid.c_str(), VerdictName(r.verdict),
                  Seconds(r.seconds).c_str());
    out << row << DetailOf(r) << '\n';
  }
}

void PrintPlan(std::ostream& out, bool utf8, const std::vector<RigFixture>& fixtures,
               bool all_adapters) {
  out << "Fixtures found:\n";
  for (const RigFixture& f : fixtures) {
    char adapter[24] = "";
    if (all_adapters) {
      std::snprintf(adapter, sizeof adapter, "adapter %d  ", f.adapter);
    }
    char row[512];
    std::snprintf(row, sizeof row, "  %s%-17s  %s  %-6s  %s  ", adapter, f.uid_text.c_str(),
                  Cell(Model(f.model, utf8), 20).c_str(),
                  f.model_id ? ModelIdText(*f.model_id).c_str() : "-",
                  Cell(Told(f.version, utf8), 28).c_str());
    out << row << Action(f) << ": " << f.reason << '\n';
  }
  out << '\n';
}

void PrintRigTable(std::ostream& out, bool utf8, const FirmwareFile& file,
                   const std::vector<RigEntry>& entries, bool all_adapters) {
  out << "\nFile:     " << file.path << "\nSHA-256:  " << file.sha256 << "\n\n";
  char row[512];
  std::snprintf(row, sizeof row, "%s%-17s  %-20s  %-28s  %-28s  %-21s  %7s\n",
                all_adapters ? "adapter  " : "", "fixture", "model", "version before",
                "version after", "result", "time");
  out << row;
  for (const RigEntry& entry : entries) {
    const FlashResult& r = entry.result;
    char adapter[16] = "";
    if (all_adapters) {
      std::snprintf(adapter, sizeof adapter, "%-7d  ", entry.fixture.adapter);
    }
    std::snprintf(row, sizeof row, "%s%-17s  %s  %s  %s  %-21s  %7s\n", adapter,
                  entry.fixture.uid_text.c_str(),
                  Cell(Model(entry.fixture.model, utf8), 20).c_str(),
                  Cell(Told(r.version_before, utf8), 28).c_str(),
                  Cell(entry.ran ? Told(r.version_after, utf8) : "-", 28).c_str(),
                  VerdictName(r.verdict), entry.ran ? Seconds(r.seconds).c_str() : "-");
    out << row;
    if (ExitCodeOf(r) != kExitSuccess || !entry.ran) {
      out << "    " << DetailOf(r) << '\n';
    }
  }
}

}  // namespace quillmont::cli
