// SPDX-License-Identifier: Apache-2.0
// Runs UpdaterWindow::OnTick the way the window's 10 ms periodic timer does, on any Clock: each
// tick starts at the later of (the previous tick's start + 10 ms) and (the end of the previous
// tick), so ticks that overrun their period run back to back. quillmont-cli and the tests drive
// the window with it; on a VirtualClock the waits between ticks take no real time.
#pragma once

#include <cstdint>
#include <functional>

#include "app/window_pacer.h"
#include "link/clock.h"

namespace quillmont {

class UpdaterWindow;

class TickPacer : public WindowPacer {
 public:
  // The timer starts now: the first tick is due 10 ms from now. Waits between ticks sleep on
  // the clock.
  TickPacer(UpdaterWindow& window, Clock& clock);
  // On a VirtualClock the waits between ticks move time on without counting as sleeps, so the
  // sleeps that tests count are only those of the line.
  TickPacer(UpdaterWindow& window, VirtualClock& clock);

  // Waits until the next tick is due and runs it. Safe to call from inside a tick (a modal loop
  // that a tick opened): the nested tick is due 10 ms after the start of the one before it.
  void Tick() override;

  int64_t ticks_run() const override { return ticks_run_; }
  // Start time of the last tick, in microseconds on the clock.
  uint64_t last_tick_start() const { return last_tick_start_; }

 private:
  UpdaterWindow& window_;
  Clock& clock_;
  std::function<void(uint64_t micros)> wait_;
  uint64_t next_due_;
  uint64_t last_tick_start_ = 0;
  int64_t ticks_run_ = 0;
};

}  // namespace quillmont
