// What every form of `flash` shows: the console of one run, the JSON of a result, the early
// failures before any fixture is reached, and the refusal of a file that may be cut short.
#pragma once

#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/cli_command.h"
#include "cli/flash_run.h"
#include "cli/global_options.h"

namespace quillmont::cli {

nlohmann::json ResultJson(const FlashResult& r);

// A run that ended before any fixture was reached: the reason on standard error (unless the
// loader already put it there), and the document with --json. `told`: a reason the loader has
// already written to standard error, for the document only.
int EarlyFailure(const GlobalOptions& options, CliOutput io, const std::string& path, int code,
                 const char* result, const std::string& detail, const std::string& told = "");

// "12.3 s".
std::string Seconds(double seconds);

// A software version label as shown: "(not told)" when the fixture told none.
std::string Told(const std::string& version);

// A file that may be cut short is refused unless the operator asked for it: the reason, or ""
// when the file may be flashed.
std::string RefusalOfEnding(const FlashFile& file, bool allow_unterminated);

// The single run's console: log lines and status changes as they come; on a terminal the
// program requests feed one live progress line instead of a line each.
class FlashConsole {
 public:
  FlashConsole(CliOutput io, bool json) : io_(io), json_(json) {}
  FlashSink Sink();
  void EndLiveLine();

 private:
  CliOutput io_;
  bool json_;
  bool live_ = false;
};

// The console of one of several runs at once: every line under `lock`, after `prefix`
// ("[adapter 1] "); nothing but message boxes with --json.
FlashSink PrefixedSink(std::mutex& lock, CliOutput io, bool json, const std::string& prefix);

}  // namespace quillmont::cli
