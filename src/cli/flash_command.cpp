#include "cli/flash_command.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/flash_run.h"
#include "cli/progress_text.h"
#include "update/srec2.h"

namespace quillmont::cli {
namespace {

using nlohmann::json;

json ResultJson(const FlashResult& r) {
  return json{{"uid", r.uid},
              {"result", r.result},
              {"detail", r.detail},
              {"exit_code", r.exit_code},
              {"seconds", r.seconds},
              {"bytes_sent", r.sent},
              {"bytes_total", r.total},
              {"flash_checked", r.flash_checked},
              {"software_version_before", r.version_before},
              {"software_version_after", r.version_after}};
}

// A run that ended before any fixture was reached: the reason on standard error (unless the
// loader already put it there), and the document with --json.
// `told`: a reason the loader has already written to standard error, for the document only.
int EarlyFailure(const GlobalOptions& options, CliOutput io, const std::string& path, int code,
                 const char* result, const std::string& detail, const std::string& told = "") {
  if (!detail.empty()) {
    io.err << detail << '\n';
  }
  if (options.json) {
    io.out << json{{"command", "flash"},
                   {"file", path},
                   {"result", result},
                   {"detail", detail.empty() ? told : detail},
                   {"exit_code", code}}
                  .dump(2)
           << '\n';
  }
  return code;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

// The single run's console: log lines and status changes as they come; on a terminal the
// program requests feed one live progress line instead of a line each.
class FlashConsole {
 public:
  FlashConsole(CliOutput io, bool json) : io_(io), json_(json) {}

  FlashSink Sink() {
    FlashSink sink;
    sink.message_box = [this](const std::string& text) {
      EndLiveLine();
      io_.err << text << '\n' << std::flush;
    };
    if (json_) {
      return sink;
    }
    sink.log = [this](const std::string& line, bool program_request) {
      if (io_.out_is_terminal && program_request) {
        return;  // the progress line names the step
      }
      EndLiveLine();
      io_.out << line << '\n' << std::flush;
    };
    sink.status = [this](const std::string& text) {
      EndLiveLine();
      io_.out << "[" << text << "]\n" << std::flush;
    };
    if (io_.out_is_terminal) {
      sink.progress = [this](const FlashProgress& progress) {
        io_.out << "\r\033[K" << FormatProgressLine(progress) << std::flush;
        live_ = true;
      };
    }
    return sink;
  }

  void EndLiveLine() {
    if (live_) {
      io_.out << '\n';
      live_ = false;
    }
  }

 private:
  CliOutput io_;
  bool json_;
  bool live_ = false;
};

std::string Told(const std::string& version) {
  return version.empty() ? "(not told)" : version;
}

// A file that may be cut short is refused unless the operator asked for it: the reason, or
// "" when the file may be flashed.
std::string RefusalOfEnding(const FlashFile& file, bool allow_unterminated) {
  if (file.loaded->file_ending == FileEnding::kComplete || allow_unterminated) {
    return {};
  }
  return FileEndingText(file.loaded->file_ending) +
         " Nothing was sent; give --allow-unterminated to flash it all the same.";
}

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

CliCommand AddFlashCommand(CLI::App& app, const GlobalOptions& options, CliOutput io) {
  auto path = std::make_shared<std::string>();
  auto all = std::make_shared<bool>(false);
  CLI::App* sub = app.add_subcommand(
      "flash", "Update the firmware of the fixture (discovered, or --uid) with a .srec2 file");
  sub->add_option("FILE", *path, "The .srec2 firmware file")->required();
  sub->add_flag("--all-adapters", *all,
                "Update the fixture on every adapter at once, one run per adapter");
  auto unterminated = std::make_shared<bool>(false);
  sub->add_flag("--allow-unterminated", *unterminated,
                "Flash a file that has no end record, or whose count record disagrees (it may "
                "be cut short)");
  return CliCommand{sub, [path, all, unterminated, &options, io] {
                      return *all ? RunFlashAllAdapters(*path, options, io, *unterminated)
                                  : RunFlashCommand(*path, options, io, *unterminated);
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
      FlashSink sink;
      sink.message_box = [&, i](const std::string& text) {
        const std::lock_guard<std::mutex> guard(lock);
        io.err << "[adapter " << i << "] " << text << '\n';
      };
      if (!options.json && io.out_is_terminal) {
        sink.progress = [&, index](const FlashProgress& progress) {
          const std::lock_guard<std::mutex> guard(lock);
          live[index] = FormatProgressLine(progress, 90);
          redraw();
        };
      } else if (!options.json) {
        sink.log = [&, i](const std::string& line, bool /*program_request*/) {
          const std::lock_guard<std::mutex> guard(lock);
          io.out << "[adapter " << i << "] " << line << '\n';
        };
        sink.status = [&, i](const std::string& text) {
          const std::lock_guard<std::mutex> guard(lock);
          io.out << "[adapter " << i << "] [" << text << "]\n";
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
