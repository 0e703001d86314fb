// SPDX-License-Identifier: Apache-2.0
// UpdaterWindow::AppendLog against the length of the log: the core rewrites the whole log text
// through the port on every line (the update logs one line per chunk, about 1400 for a full
// 256 KiB image). Timed with a port that only keeps the texts in memory, and with the Qt
// window's port on an offscreen dialog.
#include <benchmark/benchmark.h>

#include <memory>
#include <sstream>
#include <string>

#include "app/updater_window.h"
#include "sim/simulated_line.h"
#include "support/memory_window_port.h"

#ifdef QUILLMONT_BENCH_QT
#include <QApplication>

#include "ui/qt_window_port.h"
#include "ui/updater_dialog.h"
#endif

namespace {

constexpr const char* kLine = "Programming $1F440 (192 bytes)...";

// Appends lines to a window whose log already holds `state.range(0)` of them.
void RunAppendLog(benchmark::State& state, quillmont::WindowPort& port) {
  quillmont::VirtualClock clock;
  quillmont::SimulatedLine line(clock);
  std::ostringstream diag;
  auto window = std::make_unique<quillmont::UpdaterWindow>(port, line, clock, diag);
  window->settings_path = "";
  window->OnInit();
  const auto lines = state.range(0);
  for (int64_t i = 0; i < lines; ++i) {
    window->log_text += kLine;
    window->log_text += "\r\n";
  }
  window->ShowTexts();
  int64_t appended = 0;
  for (auto _ : state) {
    window->AppendLog(kLine);
    if (++appended == 256) {
      // Keep the log near the length under test.
      state.PauseTiming();
      window->log_text.resize(window->log_text.size() - 256 * (std::string(kLine).size() + 2));
      window->ShowTexts();
      appended = 0;
      state.ResumeTiming();
    }
  }
}

void BM_AppendLog_MemoryPort(benchmark::State& state) {
  quillmont::bench::MemoryWindowPort port;
  RunAppendLog(state, port);
}
BENCHMARK(BM_AppendLog_MemoryPort)->Arg(0)->Arg(100)->Arg(1000)->Arg(10000);

#ifdef QUILLMONT_BENCH_QT
void BM_AppendLog_QtPort(benchmark::State& state) {
  quillmont::ui::UpdaterDialog dialog;
  quillmont::ui::QtWindowPort port(dialog);
  dialog.show();
  RunAppendLog(state, port);
}
BENCHMARK(BM_AppendLog_QtPort)
    ->Arg(0)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond);
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef QUILLMONT_BENCH_QT
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
#endif
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
