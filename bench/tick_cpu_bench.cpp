// SPDX-License-Identifier: Apache-2.0
// CPU time of one tick of the window core. With no adapter attached, the tick asks the backend
// for its device list on every tick (every 10 ms), so that call has to stay cheap:
//   sim    the simulated line with no adapter;
//   serial the serial backend, which scans /sys/class/tty for USB serial adapters;
//   d2xx   the vendor library's backend (when the library is absent, every call fails at once).
// And a tick during a whole 256 KiB update on the simulated fixture (virtual clock: the 10 ms
// polls of the line reads take no real time, so only the CPU work is timed).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <sstream>

#include "app/tick_pacer.h"
#include "app/updater_window.h"
#include "link/d2xx/d2xx_library_driver.h"
#include "link/serial/serial_driver.h"
#include "sim/simulated_line.h"
#include "support/full_flash_file.h"
#include "support/memory_window_port.h"

namespace {

using quillmont::bench::MemoryWindowPort;

void RunIdleTicks(benchmark::State& state, quillmont::D2xxDriver& driver) {
  quillmont::VirtualClock clock;
  MemoryWindowPort port;
  std::ostringstream diag;
  auto window = std::make_unique<quillmont::UpdaterWindow>(port, driver, clock, diag);
  window->settings_path = "";
  window->OnInit();
  for (auto _ : state) {
    window->OnTick();
  }
  if (window->link != nullptr) {
    state.SkipWithError("an adapter is attached: this is not an idle tick");
  }
}

void BM_IdleTick_Sim(benchmark::State& state) {
  quillmont::VirtualClock clock;
  quillmont::SimulatedLine line(clock);
  RunIdleTicks(state, line);
}
BENCHMARK(BM_IdleTick_Sim);

void BM_IdleTick_Serial(benchmark::State& state) {
  quillmont::serial::SerialDriver driver;
  state.SetLabel(std::to_string(driver.DevicePaths().size()) + " USB serial adapters");
  RunIdleTicks(state, driver);
}
BENCHMARK(BM_IdleTick_Serial)->Unit(benchmark::kMicrosecond);

void BM_IdleTick_D2xx(benchmark::State& state) {
  quillmont::d2xx::D2xxLibraryDriver driver;
  state.SetLabel(driver.available() ? "library loaded" : "library absent");
  RunIdleTicks(state, driver);
}
BENCHMARK(BM_IdleTick_D2xx);

// Ticks of a 256 KiB update, from the click to the end; a finished update is started again
// (the click and the file load are not timed).
void BM_UpdateTick(benchmark::State& state) {
  const auto path = std::filesystem::temp_directory_path() / "quillmont-bench-tick-256k.srec2";
  if (!quillmont::bench::WriteFullFlashFile(path)) {
    state.SkipWithError("cannot write the firmware file");
    return;
  }
  quillmont::VirtualClock clock;
  quillmont::SimulatedLine line(clock);
  line.AddAdapter();
  line.AddFixture(0);
  MemoryWindowPort port;
  port.AnswerFileDialogWith(path.string());
  std::ostringstream diag;
  auto window = std::make_unique<quillmont::UpdaterWindow>(port, line, clock, diag);
  window->settings_path = "";
  quillmont::TickPacer pacer(*window, clock);
  window->OnInit();
  pacer.RunUntil([&] { return window->device_found != 0; }, 2000);
  pacer.RunTicks(20);
  int64_t updates = 0;
  for (auto _ : state) {
    if (!window->job.running()) {
      state.PauseTiming();
      window->log_text.clear();  // each update starts with a short log, as in a fresh window
      window->OnUpdateButton();
      ++updates;
      state.ResumeTiming();
    }
    pacer.Tick();
  }
  state.counters["updates"] = static_cast<double>(updates);
  std::filesystem::remove(path);
}
BENCHMARK(BM_UpdateTick);

}  // namespace

BENCHMARK_MAIN();
