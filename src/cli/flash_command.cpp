#include "cli/flash_command.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "base/whole_number.h"
#include "cli/command_failure.h"
#include "cli/exit_codes.h"
#include "cli/flash_report.h"
#include "cli/flash_run.h"
#include "cli/progress_text.h"
#include "cli/rig_command.h"
#include "update/srec2.h"

namespace quillmont::cli {
namespace {

using nlohmann::json;

void PrintSummary(std::ostream& out, const FlashFile& file, const FlashResult& r) {
  out << "\nFixture:  " << (r.uid.empty() ? "-" : r.uid) << '\n'
      << "File:     " << file.path << '\n'
      << "SHA-256:  " << file.sha256 << '\n'
      << "Sent:     " << r.sent << " bytes in program requests (" << r.total << " loaded)\n"
      << "Time:     " << Seconds(r.seconds) << '\n'
      << "Software version: " << Told(r.version_before) << " -> " << Told(r.version_after) << '\n'
      << "Result:   " << r.result << ": " << r.detail << '\n';
}

}  // namespace

CliCommand AddFlashCommand(CLI::App& app, GlobalOptions& options, CliOutput io) {
  auto path = std::make_shared<std::string>();
  auto rig = std::make_shared<RigOptions>();
  CLI::App* sub = app.add_subcommand(
      "flash", "Update the firmware of the fixture (discovered, or --uid) with a .srec2 file");
  sub->add_option("FILE", *path, "The .srec2 firmware file")->required();
  sub->add_flag("--all-adapters", rig->all_adapters,
                "Update the fixture on every adapter at once, one run per adapter");
  sub->add_flag("--all-fixtures", options.all_fixtures,
                "Update every fixture on the line, one after another (with --all-adapters, on "
                "every adapter's line at once)");
  auto model = std::make_shared<std::string>();
  CLI::Option* model_option =
      sub->add_option("--model", *model,
                      "With --all-fixtures: only fixtures with this device model ID (DEVICE_INFO; "
                      "decimal, or hex after 0x)");
  auto skip = std::make_shared<std::string>();
  CLI::Option* skip_option = sub->add_option(
      "--skip-version", *skip,
      "With --all-fixtures: pass over fixtures that already run this software version label");
  CLI::Option* dry_option = sub->add_flag(
      "--dry-run", rig->dry_run,
      "With --all-fixtures: list what would be updated and why; send nothing beyond discovery "
      "and GET requests");
  sub->add_flag("--allow-unterminated", rig->allow_unterminated,
                "Flash a file that has no end record, or whose count record disagrees (it may "
                "be cut short)");
  return CliCommand{
      sub, [=, &options] {
        const bool rig_only =
            model_option->count() + skip_option->count() + dry_option->count() > 0;
        if (rig_only && !options.all_fixtures) {
          return FailCommand(options, io, "flash", kExitBadArguments,
                             "--model, --skip-version and --dry-run need --all-fixtures");
        }
        if (!options.all_fixtures) {
          return rig->all_adapters
                     ? RunFlashAllAdapters(*path, options, io, rig->allow_unterminated)
                     : RunFlashCommand(*path, options, io, rig->allow_unterminated);
        }
        if (model_option->count() > 0) {
          uint32_t id = 0;
          if (!ParseWholeNumber(*model, 0xFFFF, id)) {
            return FailCommand(options, io, "flash", kExitBadArguments,
                               "--model wants a device model ID: 0 to 65535, or 0x0000 to 0xFFFF");
          }
          rig->model_id = static_cast<uint16_t>(id);
        }
        if (skip_option->count() > 0) {
          rig->skip_version = *skip;
        }
        return RunFlashAllFixtures(*path, options, *rig, io);
      }};
}

int RunFlashCommand(const std::string& path, const GlobalOptions& options, CliOutput io,
                    bool allow_unterminated) {
  FlashConsole console(io, options.json);
  const FlashSink sink = console.Sink();
  // The loader tells its reason on standard error itself; the document carries it too.
  Result<FlashFile> loaded = LoadFlashFile(path, sink.message_box);
  if (!loaded) {
    return EarlyFailure(options, io, path, kExitBadFile, "bad file", "", loaded.error().message);
  }
  const FlashFile& file = *loaded;
  if (const std::string refused = RefusalOfEnding(file, allow_unterminated); !refused.empty()) {
    return EarlyFailure(options, io, path, kExitBadFile, "bad file", refused);
  }
  Result<std::unique_ptr<DriverSet>> drivers = MakeDriver(options.drivers);
  if (!drivers) {
    return EarlyFailure(options, io, path, kExitNoAdapter, "no adapter", drivers.error().message);
  }
  std::ostream null_stream(nullptr);
  std::ostream& diag = options.verbose ? io.err : null_stream;
  const FlashResult r = RunFlash(**drivers, options, file, options.sim_dump, diag, sink);
  console.EndLiveLine();
  if (r.exit_code != kExitSuccess) {
    io.err << r.detail << '\n';
  }
  if (options.json) {
    json doc = ResultJson(r);
    doc["command"] = "flash";
    doc["file"] = file.path;
    doc["sha256"] = file.sha256;
    doc["log"] = r.log;
    io.out << doc.dump(2) << '\n';
  } else {
    PrintSummary(io.out, file, r);
  }
  return r.exit_code;
}

std::string AdapterDumpPath(const std::string& path, int adapter) {
  return path.empty() ? path : path + "." + std::to_string(adapter);
}

int RunFlashAllAdapters(const std::string& path, const GlobalOptions& options, CliOutput io,
                        bool allow_unterminated) {
  std::mutex lock;
  const auto to_err = [&io](const std::string& text) { io.err << text << '\n'; };
  Result<FlashFile> loaded = LoadFlashFile(path, to_err);
  if (!loaded) {
    return EarlyFailure(options, io, path, kExitBadFile, "bad file", "", loaded.error().message);
  }
  // Every adapter's run flashes this one image.
  const FlashFile& file = *loaded;
  if (const std::string refused = RefusalOfEnding(file, allow_unterminated); !refused.empty()) {
    return EarlyFailure(options, io, path, kExitBadFile, "bad file", refused);
  }
  const Result<int> counted = CountAdapters(options.drivers);
  const int count = counted ? *counted : -1;
  if (count <= 0) {
    return EarlyFailure(options, io, path, kExitNoAdapter, "no adapter",
                        counted ? "No USB-to-RS485 adapter found." : counted.error().message);
  }

  std::vector<FlashResult> results(static_cast<size_t>(count));
  std::vector<std::string> names(static_cast<size_t>(count));
  std::vector<std::string> live(static_cast<size_t>(count), "waiting");
  bool drawn = false;
  // On a terminal one progress line per adapter, redrawn as a block; otherwise log lines with
  // the adapter's number before them.
  const auto redraw = [&] {
    if (drawn) {
      io.out << "\033[" << count << "A";
    }
    for (int i = 0; i < count; ++i) {
      io.out << "\r\033[Kadapter " << i << ": " << live[static_cast<size_t>(i)] << '\n';
    }
    io.out << std::flush;
    drawn = true;
  };

  std::ostream null_stream(nullptr);
  std::ostream& diag = options.verbose ? io.err : null_stream;
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) {
    threads.emplace_back([&, i] {
      const auto index = static_cast<size_t>(i);
      const bool block = !options.json && io.out_is_terminal;
      FlashSink sink =
          PrefixedSink(lock, io, options.json || block, "[adapter " + std::to_string(i) + "] ");
      if (block) {
        sink.progress = [&, index](const FlashProgress& progress) {
          const std::lock_guard<std::mutex> guard(lock);
          live[index] = FormatProgressLine(progress, 90);
          redraw();
        };
      }
      Result<std::unique_ptr<DriverSet>> drivers = MakeAdapterDriver(options.drivers, i);
      if (!drivers) {
        results[index].exit_code = kExitNoAdapter;
        results[index].result = "no adapter";
        results[index].detail = drivers.error().message;
        return;
      }
      const std::vector<std::string> adapter_names = (*drivers)->AdapterNames();
      names[index] = adapter_names.empty() ? "adapter " + std::to_string(i) : adapter_names[0];
      results[index] =
          RunFlash(**drivers, options, file, AdapterDumpPath(options.sim_dump, i), diag, sink);
      if (!options.json && io.out_is_terminal) {
        const std::lock_guard<std::mutex> guard(lock);
        live[index] = results[index].result + ": " + results[index].detail;
        redraw();
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }

  int exit_code = kExitSuccess;
  for (const FlashResult& r : results) {
    if (r.exit_code != kExitSuccess && exit_code == kExitSuccess) {
      exit_code = r.exit_code;
    }
  }
  if (options.json) {
    json adapters = json::array();
    for (size_t i = 0; i < results.size(); ++i) {
      json item = ResultJson(results[i]);
      item["adapter"] = i;
      item["name"] = names[i];
      adapters.push_back(item);
    }
    io.out << json{{"command", "flash"},    {"all_adapters", true}, {"file", file.path},
                   {"sha256", file.sha256}, {"adapters", adapters}, {"exit_code", exit_code}}
                  .dump(2)
           << '\n';
    return exit_code;
  }
  io.out << "\nFile:     " << file.path << "\nSHA-256:  " << file.sha256 << "\n\n";
  char row[160];
  std::snprintf(row, sizeof row, "%-7s  %-17s  %-14s  %8s  %s\n", "adapter", "fixture", "result",
                "time", "detail");
  io.out << row;
  for (size_t i = 0; i < results.size(); ++i) {
    const FlashResult& r = results[i];
    std::snprintf(row, sizeof row, "%-7zu  %-17s  %-14s  %8s  ", i,
                  r.uid.empty() ? "-" : r.uid.c_str(), r.result.c_str(),
                  Seconds(r.seconds).c_str());
    io.out << row << r.detail << '\n';
  }
  return exit_code;
}

}  // namespace quillmont::cli
