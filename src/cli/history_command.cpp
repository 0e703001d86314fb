// SPDX-License-Identifier: Apache-2.0
#include "cli/history_command.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/command_failure.h"
#include "cli/console_text.h"
#include "cli/exit_codes.h"
#include "cli/flash_report.h"
#include "cli/json_document.h"
#include "cli/station_run.h"
#include "station/history.h"
#include "station/user_folders.h"

namespace quillmont::cli {
namespace {

using nlohmann::json;

struct HistoryOptions {
  std::string since;
  bool csv = false;
};

json RecordJson(const HistoryRecord& r) {
  json item{{"time", r.time},
            {"program", r.program},
            {"adapter", r.adapter},
            {"uid", r.uid},
            {"model", r.model},
            {"version_before", r.version_before},
            {"version_after", r.version_after},
            {"file", r.file},
            {"sha256", r.sha256},
            {"result", r.result},
            {"detail", r.detail},
            {"seconds", r.seconds}};
  if (r.simulated) {
    item["simulated"] = true;
  }
  return item;
}

// A CSV field: quoted when it holds a comma, a quote or a line break; quotes doubled.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    return text;
  }
  std::string quoted = "\"";
  for (const char c : text) {
    quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  }
  return quoted + "\"";
}

void PrintCsv(std::ostream& out, const std::vector<HistoryRecord>& records) {
  out << "time,program,adapter,uid,model,version_before,version_after,file,sha256,result,"
         "detail,seconds,simulated\n";
  for (const HistoryRecord& r : records) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", r.seconds);
    for (const std::string* field :
         {&r.time, &r.program, &r.adapter, &r.uid, &r.model, &r.version_before, &r.version_after,
          &r.file, &r.sha256, &r.result, &r.detail}) {
      out << CsvField(*field) << ',';
    }
    out << seconds << ',' << (r.simulated ? "true" : "false") << '\n';
  }
}

// The history's texts (a fixture's among them, as UTF-8) in a cell of the table.
std::string Field(const std::string& text, bool utf8, size_t columns) {
  return Cell(ShownText(text, utf8), columns);
}

void PrintTable(std::ostream& out, bool utf8, const std::vector<HistoryRecord>& records) {
  if (records.empty()) {
    out << "No update recorded.\n";
    return;
  }
  char row[768];
  std::snprintf(row, sizeof row, "%-20s  %-17s  %-20s  %-24s  %-24s  %-21s  %7s\n", "ended (UTC)",
                "fixture", "model", "version before", "version after", "result", "time");
  out << row;
  for (const HistoryRecord& r : records) {
    std::snprintf(row, sizeof row, "%s  %s  %s  %s  %s  %s  %7s\n", Field(r.time, utf8, 20).c_str(),
                  Field(r.uid, utf8, 17).c_str(), Field(r.model, utf8, 20).c_str(),
                  Field(r.version_before, utf8, 24).c_str(),
                  Field(r.version_after, utf8, 24).c_str(), Field(r.result, utf8, 21).c_str(),
                  Seconds(r.seconds).c_str());
    out << row << "    " << ShownText(r.file, utf8) << (r.simulated ? " (simulated)" : "") << '\n';
  }
}

// The filter of the command line; an error when --since is not a date.
Result<HistoryFilter> Filter(const CliConfig& config, const HistoryOptions& options) {
  HistoryFilter filter;
  if (config.uid) {
    filter.uid = FormatUid(*config.uid);
  }
  if (!options.since.empty()) {
    Result<std::string> since = ParseHistoryDate(options.since);
    if (!since) {
      return since.error();
    }
    filter.since = std::move(*since);
  }
  return filter;
}

int RunHistory(const CliConfig& config, const HistoryOptions& options, CliOutput io) {
  const Result<HistoryFilter> filter = Filter(config, options);
  if (!filter) {
    return FailCommand(config, io, "history", kExitBadArguments, filter.error().message);
  }
  const Result<std::filesystem::path> file = HistoryFile();
  if (!file) {
    return FailCommand(config, io, "history", kExitBadFile, file.error().message);
  }
  const Result<HistoryReading> reading = UpdateHistory(*file).Read();
  if (!reading) {
    return FailCommand(config, io, "history", kExitBadFile, reading.error().message);
  }
  for (const std::string& warning : reading->warnings) {
    io.err << warning << '\n';
  }
  std::vector<HistoryRecord> records;
  for (const HistoryRecord& record : reading->records) {
    if (filter->Matches(record)) {
      records.push_back(record);
    }
  }
  if (config.json) {
    json items = json::array();
    for (const HistoryRecord& record : records) {
      items.push_back(RecordJson(record));
    }
    return PrintDocument(io, json{{"command", "history"},
                                  {"file", PathText(*file)},
                                  {"records", items},
                                  {"skipped_lines", reading->warnings.size()},
                                  {"exit_code", kExitSuccess}});
  }
  if (options.csv) {
    PrintCsv(io.out, records);
  } else {
    PrintTable(io.out, io.utf8, records);
  }
  return kExitSuccess;
}

}  // namespace

CliCommand AddHistoryCommand(CLI::App& app, CliOutput io) {
  auto options = std::make_shared<HistoryOptions>();
  CLI::App* sub = app.add_subcommand(
      "history",
      "List the recorded updates, oldest first (--uid: of one fixture; a table by default)");
  sub->add_option("--since", options->since,
                  "Only updates from this day (2024-05-01) or time in UTC (2024-05-01T12:00:00Z) "
                  "on");
  sub->add_flag("--csv", options->csv, "Comma-separated values, one update a line");
  return CliCommand{sub, [options, io](const CliConfig& config) {
                      if (options->csv && config.json) {
                        return FailCommand(config, io, "history", kExitBadArguments,
                                           "--json and --csv exclude each other");
                      }
                      return RunHistory(config, *options, io);
                    }};
}

}  // namespace quillmont::cli
