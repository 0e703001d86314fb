// One firmware update on one adapter: the window core's own procedure, started as the Update
// button starts it and ticked until it is idle again. Shared by `flash` and
// `flash --all-adapters` (one run per adapter, each on its own thread and driver).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "cli/global_options.h"
#include "update/firmware_image.h"

namespace quillmont::cli {

// The firmware file, read once before any adapter is touched: its bytes are hashed and loaded,
// and every run (every adapter's) flashes this one image.
struct FlashFile {
  std::string path;
  std::string sha256;
  std::shared_ptr<const FirmwareImage> loaded;  // as the loader produced it
  int64_t chunks = 0;                           // program requests an update sends at least
  int64_t erases = 0;                           // blocks it erases
};

// Reads, hashes and loads the file; the loader's messages go to `message_box`. On an error the
// reason has been told there already (the exit status is kExitBadFile).
Result<FlashFile> LoadFlashFile(const std::string& path,
                                const std::function<void(const std::string&)>& message_box);

// What a run shows while it goes.
struct FlashProgress {
  int64_t sent = 0;             // bytes of program requests sent
  int64_t total = 0;            // loaded bytes of the image
  uint64_t micros = 0;          // since the update started, on the run's clock
  uint64_t program_micros = 0;  // since the first program request
  std::string step;             // the last step the log named
};

struct FlashSink {
  // Every log line; `program_request` for the line that announces a program request.
  std::function<void(const std::string& line, bool program_request)> log;
  std::function<void(const std::string& text)> status;
  std::function<void(const std::string& text)> message_box;
  std::function<void(const FlashProgress& progress)> progress;
};

struct FlashResult {
  int exit_code = 0;
  // "success", "aborted", "start unanswered", "start refused", "stays in bootloader",
  // "no answer after start", "flash mismatch", "no adapter", "no device", "bad file"
  std::string result;
  std::string detail;    // why, for people
  std::string uid;       // the fixture updated ("" when none was reached)
  double seconds = 0.0;  // on the run's clock
  int64_t sent = 0;
  int64_t total = 0;
  bool flash_checked = false;  // the simulated fixture's flash was compared with the image
  std::string version_before;  // the software version label before the update ("" untold)
  std::string version_after;   // the one the new application told after it ("" untold)
  std::vector<std::string> log;
};

// The run on `drivers` with the global options (rate, UID, simulator dump). `dump_path`, when
// not empty, receives the simulated fixture's flash at the end.
FlashResult RunFlash(DriverSet& drivers, const GlobalOptions& options, const FlashFile& file,
                     const std::string& dump_path, std::ostream& diag, const FlashSink& sink);

// The most ticks an update may take: every chunk and every erase with all its attempts at their
// longest wait, and a margin. The procedure ends long before this on its own.
int64_t FlashTickBound(int64_t chunks, int64_t erases);

}  // namespace quillmont::cli
