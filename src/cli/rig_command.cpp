#include "cli/rig_command.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/flash_report.h"
#include "cli/flash_run.h"
#include "cli/interrupt.h"
#include "cli/rig_survey.h"
#include "cli/window_session.h"
#include "sim/nor_flash.h"
#include "sim/simulated_line.h"

namespace quillmont::cli {
namespace {

using nlohmann::json;

// One adapter's line: its driver, and its fixtures' results in the order of the run.
struct RigLine {
  int adapter = 0;
  std::unique_ptr<DriverSet> drivers;
  bool opened = false;
};

struct RigEntry {
  RigFixture fixture;
  FlashResult result;
  bool ran = false;
};

// Runs `work(i)` for every line: on its own thread when there are several.
template <typename Work>
void ForEachLine(size_t count, const Work& work) {
  if (count == 1) {
    work(0);
    return;
  }
  std::vector<std::thread> threads;
  for (size_t i = 0; i < count; ++i) {
    threads.emplace_back([&work, i] { work(i); });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
}

FlashResult NotRun(const RigFixture& fixture, bool dry_run) {
  FlashResult r;
  r.uid = fixture.uid_text;
  r.version_before = fixture.version;
  if (fixture.selected && !fixture.answered) {
    r.exit_code = kExitNoDevice;
    r.result = "no answer";
    r.detail = "The fixture answered the discovery, then nothing. Nothing was flashed.";
    return r;
  }
  r.result = fixture.selected && dry_run ? "would update" : "skipped";
  r.detail = fixture.reason;
  return r;
}

// What the run does with a fixture, as the plan shows it.
const char* Action(const RigFixture& f) {
  return !f.selected       ? "skip"
         : !f.answered     ? "cannot update"
         : f.in_bootloader ? "update first"
                           : "update";
}

json EntryJson(const RigEntry& entry, bool all_adapters) {
  const RigFixture& f = entry.fixture;
  json item = ResultJson(entry.result);
  if (all_adapters) {
    item["adapter"] = f.adapter;
  }
  item["model"] = f.model;
  item["model_id"] = f.model_id ? json(*f.model_id) : json(nullptr);
  item["in_bootloader"] = f.in_bootloader;
  item["selected"] = f.selected;
  item["reason"] = f.reason;
  return item;
}

std::string Cell(const std::string& text, size_t width) {
  return text.size() <= width ? text : text.substr(0, width - 1) + "~";
}

void PrintPlan(std::ostream& out, const std::vector<RigEntry>& entries, bool all_adapters) {
  out << "Fixtures found:\n";
  for (const RigEntry& entry : entries) {
    const RigFixture& f = entry.fixture;
    char adapter[24] = "";
    if (all_adapters) {
      std::snprintf(adapter, sizeof adapter, "adapter %d  ", f.adapter);
    }
    char row[200];
    std::snprintf(row, sizeof row, "  %s%-17s  %-20s  %-6s  %-28s  ", adapter, f.uid_text.c_str(),
                  Cell(f.model.empty() ? "-" : f.model, 20).c_str(),
                  f.model_id ? ModelIdText(*f.model_id).c_str() : "-",
                  Cell(Told(f.version), 28).c_str());
    out << row << Action(f) << ": " << f.reason << '\n';
  }
  out << '\n';
}

void PrintTable(std::ostream& out, const FlashFile& file, const std::vector<RigEntry>& entries,
                bool all_adapters) {
  out << "\nFile:     " << file.path << "\nSHA-256:  " << file.sha256 << "\n\n";
  char row[240];
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
    std::snprintf(row, sizeof row, "%s%-17s  %-20s  %-28s  %-28s  %-21s  %7s\n", adapter,
                  entry.fixture.uid_text.c_str(),
                  Cell(entry.fixture.model.empty() ? "-" : entry.fixture.model, 20).c_str(),
                  Cell(Told(r.version_before), 28).c_str(),
                  Cell(entry.ran ? Told(r.version_after) : "-", 28).c_str(), r.result.c_str(),
                  entry.ran ? Seconds(r.seconds).c_str() : "-");
    out << row;
    if (r.exit_code != kExitSuccess || !entry.ran) {
      out << "    " << r.detail << '\n';
    }
  }
}

void DumpLine(DriverSet& drivers, const std::string& path, bool all_adapters, int adapter,
              const FlashSink& sink) {
  SimulatedLine* line = drivers.simulated_line();
  if (path.empty() || line == nullptr || line->adapter_count() == 0) {
    return;
  }
  for (int i = 0; i < line->fixture_count(0); ++i) {
    const Status dumped =
        DumpFlash(line->fixture(0, i).flash(), FixtureDumpPath(path, all_adapters, adapter, i));
    if (!dumped && sink.message_box) {
      sink.message_box(dumped.error().message);
    }
  }
}

// What the updates of one line share with the others.
struct RigRun {
  const GlobalOptions& options;
  const FlashFile& file;
  CliOutput io;
  std::mutex& lock;
  FlashConsole* console;  // the live console, when one line runs alone
  std::string lead;       // before each line of output: "[adapter N] " when several lines run
};

// Updates the chosen fixtures of `line`, one after another, in the order of `entries`.
void UpdateLine(const RigRun& run, RigLine& line, const FlashSink& sink,
                std::vector<RigEntry>& entries) {
  const auto chosen = [&line](const RigEntry& e) {
    return e.fixture.adapter == line.adapter && e.fixture.selected && e.fixture.answered;
  };
  const auto total = std::count_if(entries.begin(), entries.end(), chosen);
  std::ostream null_stream(nullptr);
  std::ostream& diag = run.options.verbose ? run.io.err : null_stream;
  int done = 0;
  for (RigEntry& entry : entries) {
    if (!chosen(entry) || PendingInterrupt() != 0) {
      continue;
    }
    const std::string& uid = entry.fixture.uid_text;
    if (!run.options.json) {
      const std::lock_guard<std::mutex> guard(run.lock);
      run.io.out << run.lead << "Fixture " << ++done << " of " << total << ": " << uid << '\n'
                 << std::flush;
    }
    GlobalOptions one = run.options;
    one.uid = uid;
    entry.result = RunFlash(*line.drivers, one, run.file, "", diag, sink);
    entry.ran = true;
    const std::lock_guard<std::mutex> guard(run.lock);
    if (run.console != nullptr) {
      run.console->EndLiveLine();
    }
    if (entry.result.exit_code != kExitSuccess) {
      run.io.err << run.lead << uid << ": " << entry.result.detail << '\n';
    }
    if (!run.options.json) {
      run.io.out << run.lead << uid << ": " << entry.result.result << " ("
                 << Seconds(entry.result.seconds) << ")\n\n"
                 << std::flush;
    }
  }
}

}  // namespace

std::string FixtureDumpPath(const std::string& path, bool all_adapters, int adapter, int fixture) {
  return path + (all_adapters ? "." + std::to_string(adapter) : std::string()) + "." +
         std::to_string(fixture);
}

int RunFlashAllFixtures(const std::string& path, const GlobalOptions& options,
                        const RigOptions& rig, CliOutput io) {
  std::mutex lock;
  FlashConsole console(io, options.json);
  const FlashSink single_sink = console.Sink();
  Result<FlashFile> loaded = LoadFlashFile(path, single_sink.message_box);
  if (!loaded) {
    return EarlyFailure(options, io, path, kExitBadFile, "bad file", "", loaded.error().message);
  }
  const FlashFile& file = *loaded;
  if (const std::string refused = RefusalOfEnding(file, rig.allow_unterminated); !refused.empty()) {
    return EarlyFailure(options, io, path, kExitBadFile, "bad file", refused);
  }

  // The lines: every adapter's, or the first adapter that opens.
  std::vector<RigLine> lines;
  if (rig.all_adapters) {
    const Result<int> counted = CountAdapters(options.drivers);
    const int count = counted ? *counted : 0;
    if (count <= 0) {
      return EarlyFailure(options, io, path, kExitNoAdapter, "no adapter",
                          counted ? "No USB-to-RS485 adapter found." : counted.error().message);
    }
    for (int i = 0; i < count; ++i) {
      Result<std::unique_ptr<DriverSet>> made = MakeAdapterDriver(options.drivers, i);
      if (made) {
        lines.push_back(RigLine{i, std::move(*made)});
      }
    }
  } else if (Result<std::unique_ptr<DriverSet>> made = MakeDriver(options.drivers); made) {
    lines.push_back(RigLine{0, std::move(*made)});
  } else {
    return EarlyFailure(options, io, path, kExitNoAdapter, "no adapter", made.error().message);
  }

  // Every line surveyed (at once when there are several), then one choice over them all: a
  // --uid is looked for on every line.
  std::ostream null_stream(nullptr);
  std::ostream& diag = options.verbose ? io.err : null_stream;
  std::vector<std::vector<RigFixture>> surveyed(lines.size());
  ForEachLine(lines.size(), [&](size_t i) {
    lines[i].opened =
        SurveyRig(*lines[i].drivers, lines[i].adapter, options.baud, diag, surveyed[i]);
  });
  std::vector<RigFixture> fixtures;
  for (size_t i = 0; i < lines.size(); ++i) {
    fixtures.insert(fixtures.end(), surveyed[i].begin(), surveyed[i].end());
  }
  if (std::none_of(lines.begin(), lines.end(), [](const RigLine& l) { return l.opened; })) {
    return EarlyFailure(options, io, path, kExitNoAdapter, "no adapter",
                        "No USB-to-RS485 adapter could be opened.");
  }
  RigSelection selection;
  for (const std::string& uid : options.uids) {
    selection.uids.push_back(*ParseUidArgument(uid));
  }
  selection.model_id = rig.model_id;
  selection.skip_version = rig.skip_version;
  // The simulated fixtures' flash is written however the run ends from here on.
  struct DumpAtEnd {
    std::vector<RigLine>& lines;
    const std::string& path;
    bool all_adapters;
    const FlashSink& sink;
    ~DumpAtEnd() {
      for (RigLine& line : lines) {
        DumpLine(*line.drivers, path, all_adapters, line.adapter, sink);
      }
    }
  } dump_at_end{lines, options.sim_dump, rig.all_adapters, single_sink};
  if (const RigChoice choice = SelectRigFixtures(fixtures, selection);
      choice.exit_code != kExitSuccess) {
    const char* result = choice.exit_code == kExitNoDevice    ? "no device"
                         : choice.exit_code == kExitNotOnLine ? "not on the line"
                                                              : "no match";
    return EarlyFailure(options, io, path, choice.exit_code, result, choice.detail);
  }

  std::vector<RigEntry> entries;
  for (const RigFixture& fixture : fixtures) {
    entries.push_back(RigEntry{fixture, NotRun(fixture, rig.dry_run)});
  }
  if (!options.json) {
    PrintPlan(io.out, entries, rig.all_adapters);
  }

  if (!rig.dry_run) {
    ForEachLine(lines.size(), [&](size_t l) {
      const bool alone = lines.size() == 1;
      const std::string prefix = "[adapter " + std::to_string(lines[l].adapter) + "] ";
      RigRun run{options, file, io, lock, alone ? &console : nullptr, alone ? "" : prefix};
      UpdateLine(run, lines[l], alone ? single_sink : PrefixedSink(lock, io, options.json, prefix),
                 entries);
    });
  }

  int exit_code = kExitSuccess;
  for (RigEntry& entry : entries) {
    if (!rig.dry_run && entry.fixture.selected && entry.fixture.answered && !entry.ran) {
      // A signal ended the run before this fixture's turn.
      const int signal = PendingInterrupt();
      entry.result.exit_code = signal != 0 ? InterruptExitCode(signal) : kExitUpdateAborted;
      entry.result.result = "not started";
      entry.result.detail = "The run ended before this fixture's turn. Nothing was flashed.";
    }
    if (entry.result.exit_code != kExitSuccess && exit_code == kExitSuccess) {
      exit_code = entry.result.exit_code;
    }
  }
  if (options.json) {
    json items = json::array();
    for (const RigEntry& entry : entries) {
      items.push_back(EntryJson(entry, rig.all_adapters));
    }
    io.out << json{{"command", "flash"},
                   {"all_fixtures", true},
                   {"all_adapters", rig.all_adapters},
                   {"dry_run", rig.dry_run},
                   {"file", file.path},
                   {"sha256", file.sha256},
                   {"fixtures", items},
                   {"exit_code", exit_code}}
                  .dump(2)
           << '\n';
  } else if (!rig.dry_run) {
    PrintTable(io.out, file, entries, rig.all_adapters);
  }
  return exit_code;
}

}  // namespace quillmont::cli
