// SPDX-License-Identifier: Apache-2.0
// Loading and analysing a firmware file that covers the whole 256 KiB flash.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

#include "support/full_flash_file.h"
#include "update/image_analysis.h"
#include "update/srec2.h"

namespace {

void BM_LoadAndAnalyseFullFlash(benchmark::State& state) {
  const auto path = std::filesystem::temp_directory_path() / "quillmont-bench-full-flash.srec2";
  if (!quillmont::bench::WriteFullFlashFile(path)) {
    state.SkipWithError("cannot write the benchmark file");
    return;
  }
  auto image = std::make_unique<quillmont::FirmwareImage>();
  quillmont::ImageAnalysis analysis;
  quillmont::ErasePlan plan;
  for (auto _ : state) {
    if (!quillmont::LoadSrec2File(path.string(), *image)) {
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
