// SPDX-License-Identifier: Apache-2.0
// How long a user waits for a whole firmware update on the simulated fixture at 250000 baud, in
// the virtual time of the line model, under both pacings (the window's 10 ms tick alone, and
// replies taken as they come) and over an adapter with a 1 ms and a 16 ms latency timer, beside
// lower bounds for the same exchanges:
//   line:    every request and reply byte at 11 bits, and for each frame the shortest break and
//            mark-after-break (176 + 12 us);
//   program: the program requests and their echoes alone, every byte at 11 bits.
// Usage: update_time_bench [FIRMWARE.srec2...]  (default: the examples, a near-full image of
// 240 KiB from 0x4000 and a full 256 KiB image)
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "sim/simulated_line.h"
#include "support/full_flash_file.h"
#include "support/simulated_update.h"

namespace {

using quillmont::bench::UpdateFigures;

constexpr uint32_t kBaud = 250000;
constexpr uint64_t kFrameBreakMicros = 176 + 12;
constexpr uint32_t kNearFullFrom = 0x4000;

uint64_t LineBoundMicros(const UpdateFigures& f) {
  const uint64_t frames = f.line.writes + f.replies;
  return quillmont::LineMicros(f.line.bytes_written + f.line.bytes_read, kBaud) +
         frames * kFrameBreakMicros;
}

uint64_t ProgramBoundMicros(const UpdateFigures& f) {
  return quillmont::LineMicros(2 * f.line.program_request_bytes, kBaud);
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
  std::vector<std::filesystem::path> made;
  if (files.empty()) {
    const std::filesystem::path examples = std::filesystem::path(QUILLMONT_SOURCE_DIR) / "examples";
    for (const char* name :
         {"fixture-app-1.1.srec2", "fixture-low-blocks.srec2", "fixture-low-start.srec2"}) {
      files.push_back((examples / name).string());
    }
    const std::filesystem::path temp = std::filesystem::temp_directory_path();
    for (const auto& [name, from] :
         {std::pair{"quillmont-bench-near-full-240k.srec2", kNearFullFrom},
          std::pair{"quillmont-bench-full-256k.srec2", 0u}}) {
      made.push_back(temp / name);
      if (!quillmont::bench::WriteFullFlashFile(made.back(), from)) {
        std::fprintf(stderr, "update_time_bench: cannot write %s\n", made.back().c_str());
        return 1;
      }
      files.push_back(made.back().string());
    }
  }

  std::printf("Firmware update on the simulated fixture at %u baud (virtual time of the line)\n\n",
              static_cast<unsigned>(kBaud));
  std::printf("%-36s %7s %5s %5s %6s %9s %8s %6s %8s %6s %7s %7s\n", "firmware", "bytes", "timer",
              "pace", "frames", "update s", "line s", "ratio", "prog s", "ratio", "ticks",
              "CPU ms");
  bool all_good = true;
  for (const std::string& file : files) {
    for (const uint32_t latency_ms : {1u, 16u}) {
      for (const quillmont::Pacing pacing : {quillmont::Pacing::kTick, quillmont::Pacing::kEvent}) {
        quillmont::AdapterModel model;
        model.latency_timer_ms = latency_ms;
        const UpdateFigures f = quillmont::bench::RunSimulatedUpdate(file, kBaud, pacing, model);
        const uint64_t line_bound = LineBoundMicros(f);
        const uint64_t program_bound = ProgramBoundMicros(f);
        const bool tick = pacing == quillmont::Pacing::kTick;
        std::printf(
            "%-36s %7d %3ums %5s %6llu %9.3f %8.3f %6.3f %8.3f %6.3f %7lld %7.1f%s\n",
            std::filesystem::path(file).filename().c_str(), f.loaded_bytes,
            static_cast<unsigned>(latency_ms), tick ? "tick" : "event",
            static_cast<unsigned long long>(f.line.writes), Seconds(f.virtual_micros),
            Seconds(line_bound), static_cast<double>(f.virtual_micros) / line_bound,
            Seconds(program_bound),
            program_bound == 0 ? 0.0 : static_cast<double>(f.virtual_micros) / program_bound,
            static_cast<long long>(f.ticks), f.cpu_seconds * 1e3, f.succeeded ? "" : "  FAILED");
        all_good = all_good && f.succeeded;
      }
    }
  }
  std::printf(
      "\nline: request and reply bytes at 11 bits, plus a 176+12 us break per frame.\n"
      "prog: the program requests and their echoes alone, at 11 bits a byte.\n"
      "ratio = update time / bound.\n");
  for (const std::filesystem::path& path : made) {
    std::filesystem::remove(path);
  }
  return all_good ? 0 : 1;
}
