// How long a user waits for a whole firmware update on the simulated fixture at 250000 baud, in
// the virtual time of the line model, beside two lower bounds for the same exchanges:
//   line:  every request and reply byte at 11 bits, and for each frame the shortest break and
//          mark-after-break (176 + 12 us);
//   polls: every reply takes at least three receiver reads (start code, length, rest) at one
//          10 ms poll each; the first tick after the click and the 21 ticks that follow a
//          request with no answer (enter bootloader) each make at least one read.
// Usage: update_time_bench [FIRMWARE.srec2...]  (default: the examples and a full 256 KiB image)
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/simulated_line.h"
#include "support/full_flash_file.h"
#include "support/simulated_update.h"

namespace {

using quillmont::bench::UpdateFigures;

constexpr uint32_t kBaud = 250000;
constexpr uint64_t kFrameBreakMicros = 176 + 12;
constexpr uint64_t kPollMicros = 10000;
constexpr uint64_t kReadsPerReply = 3;
constexpr uint64_t kTicksAfterUnanswered = 21;

uint64_t LineBoundMicros(const UpdateFigures& f) {
  const uint64_t frames = f.line.writes + f.replies;
  return quillmont::LineMicros(f.line.bytes_written + f.line.bytes_read, kBaud) +
         frames * kFrameBreakMicros;
}

uint64_t PollBoundMicros(const UpdateFigures& f) {
  const uint64_t unanswered = f.line.writes > f.replies ? f.line.writes - f.replies : 0;
  return f.replies * kReadsPerReply * kPollMicros +
         (1 + unanswered * kTicksAfterUnanswered) * kPollMicros;
}

double Seconds(uint64_t micros) {
  return static_cast<double>(micros) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    files.emplace_back(argv[i]);
  }
  std::filesystem::path full;
  if (files.empty()) {
    const std::filesystem::path examples = std::filesystem::path(QUILLMONT_SOURCE_DIR) / "examples";
    for (const char* name :
         {"fixture-app-1.1.srec2", "fixture-low-blocks.srec2", "fixture-low-start.srec2"}) {
      files.push_back((examples / name).string());
    }
    full = std::filesystem::temp_directory_path() / "quillmont-bench-full-256k.srec2";
    if (!quillmont::bench::WriteFullFlashFile(full)) {
      std::fprintf(stderr, "update_time_bench: cannot write %s\n", full.c_str());
      return 1;
    }
    files.push_back(full.string());
  }

  std::printf("Firmware update on the simulated fixture at %u baud (virtual time of the line)\n\n",
              static_cast<unsigned>(kBaud));
  std::printf("%-32s %7s %6s %6s %9s %9s %6s %9s %6s %7s %10s %7s\n", "firmware", "bytes", "erases",
              "frames", "update s", "line s", "ratio", "polls s", "ratio", "ticks", "polls/reply",
              "CPU ms");
  bool all_good = true;
  for (const std::string& file : files) {
    const UpdateFigures f = quillmont::bench::RunSimulatedUpdate(file, kBaud);
    const uint64_t line_bound = LineBoundMicros(f);
    const uint64_t poll_bound = PollBoundMicros(f);
    std::printf(
        "%-32s %7d %6d %6llu %9.3f %9.3f %6.2f %9.3f %6.2f %7lld %10.2f %7.1f%s\n",
        std::filesystem::path(file).filename().c_str(), f.loaded_bytes, f.erase_blocks,
        static_cast<unsigned long long>(f.line.writes), Seconds(f.virtual_micros),
        Seconds(line_bound), static_cast<double>(f.virtual_micros) / line_bound,
        Seconds(poll_bound), static_cast<double>(f.virtual_micros) / poll_bound,
        static_cast<long long>(f.ticks),
        f.replies == 0 ? 0.0 : static_cast<double>(f.polls) / static_cast<double>(f.replies),
        f.cpu_seconds * 1e3, f.succeeded ? "" : "  FAILED");
    all_good = all_good && f.succeeded;
  }
  std::printf(
      "\nline: request and reply bytes at 11 bits, plus a 176+12 us break per frame.\n"
      "polls: 3 reads of 10 ms per reply, 1 read per tick of the first tick and of the 21 ticks\n"
      "after an unanswered request. ratio = update time / bound.\n");
  if (!full.empty()) {
    std::filesystem::remove(full);
  }
  return all_good ? 0 : 1;
}
