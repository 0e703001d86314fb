// SPDX-License-Identifier: Apache-2.0
#include "support/simulated_update.h"

#include <ctime>
#include <memory>
#include <sstream>

#include "app/event_pacer.h"
#include "app/tick_pacer.h"
#include "app/updater_window.h"
#include "sim/nor_flash.h"
#include "sim/simulated_line.h"
#include "support/memory_window_port.h"
#include "update/srec2.h"

namespace quillmont::bench {
namespace {

constexpr int64_t kMaxDiscoveryTicks = 2000;
constexpr int64_t kSettleTicks = 20;  // the model, version and address replies come in
constexpr int64_t kMaxUpdateTicks = 60000;

}  // namespace

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

UpdateFigures RunSimulatedUpdate(const std::string& firmware_path, uint32_t baud, Pacing pacing,
                                 const AdapterModel& model) {
  UpdateFigures figures;
  VirtualClock clock;
  SimulatedLine line(clock, model);
  line.AddAdapter();
  FixtureConfig config;
  config.baud = baud;
  SimulatedFixture& fixture = line.AddFixture(0, config);
  LineCounter counter(line);
  MemoryWindowPort port;
  std::ostringstream diag;
  auto window = std::make_unique<UpdaterWindow>(port, counter, clock, diag);
  window->settings_path = "";  // no settings file: the default 250000 baud
  std::unique_ptr<WindowPacer> pacer_owner;
  if (pacing == Pacing::kEvent) {
    pacer_owner = std::make_unique<EventPacer>(*window, clock);
  } else {
    pacer_owner = std::make_unique<TickPacer>(*window, clock);
  }
  WindowPacer& pacer = *pacer_owner;
  window->OnInit();
  if (!pacer.RunUntil([&] { return window->device_found != 0; }, kMaxDiscoveryTicks)) {
    return figures;
  }
  pacer.RunTicks(kSettleTicks);

  port.AnswerFileDialogWith(firmware_path);
  counter.counts = {};
  const uint64_t replies_before = line.replies(0);
  const uint64_t start = clock.NowMicros();
  const int64_t ticks_before = pacer.ticks_run();
  const double cpu_before = CpuSeconds();

  window->OnUpdateButton();
  figures.loaded_bytes = window->image.loaded_count;
  figures.erase_blocks = window->erase_plan.erase_count;
  pacer.RunUntil([&] { return !window->job.running(); }, kMaxUpdateTicks);

  figures.cpu_seconds = CpuSeconds() - cpu_before;
  figures.virtual_micros = clock.NowMicros() - start;
  figures.ticks = pacer.ticks_run() - ticks_before;
  figures.replies = line.replies(0) - replies_before;
  figures.line = counter.counts;

  auto loaded = std::make_unique<FirmwareImage>();
  const bool file_ok = LoadSrec2File(firmware_path, *loaded).ok();
  figures.succeeded = file_ok && window->log_text.find("VERY WELL DONE") != std::string::npos &&
                      FlashHoldsImage(fixture.flash(), *loaded);
  return figures;
}

}  // namespace quillmont::bench
