// Loading and analysing a firmware file that covers the whole 256 KiB flash.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "update/image_analysis.h"
#include "update/srec2.h"

namespace {

// Writes 32-byte S2 records over every flash address and gives the file's path.
std::string WriteFullFlashFile() {
  const auto path = std::filesystem::temp_directory_path() / "quillmont-bench-full-flash.srec2";
  std::ofstream out(path, std::ios::binary);
  uint32_t state = 12345;
  char pair[8];
  for (uint32_t address = 0; address < quillmont::kImageSize; address += 32) {
    uint8_t sum = static_cast<uint8_t>(36 + (address >> 16) + (address >> 8) + address);
    std::snprintf(pair, sizeof pair, "%06X", static_cast<unsigned>(address));
    out << "S224" << pair;
    for (int k = 0; k < 32; ++k) {
      state = state * 1664525u + 1013904223u;
      const auto byte = static_cast<uint8_t>(state >> 24);
      std::snprintf(pair, sizeof pair, "%02X", byte);
      out << pair;
      sum = static_cast<uint8_t>(sum + byte);
    }
    std::snprintf(pair, sizeof pair, "%02X", static_cast<uint8_t>(~sum));
    out << pair << "\r\n";
  }
  return path.string();
}

void BM_LoadAndAnalyseFullFlash(benchmark::State& state) {
  const std::string path = WriteFullFlashFile();
  auto image = std::make_unique<quillmont::FirmwareImage>();
  quillmont::ImageAnalysis analysis;
  quillmont::ErasePlan plan;
  for (auto _ : state) {
    if (quillmont::LoadSrec2File(path, *image, {}) != 1) {
      state.SkipWithError("the benchmark file did not load");
      break;
    }
    quillmont::AnalyseImage(*image, analysis, plan);
    benchmark::DoNotOptimize(plan);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(path)));
  std::filesystem::remove(path);
}
BENCHMARK(BM_LoadAndAnalyseFullFlash)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
