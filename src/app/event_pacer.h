// SPDX-License-Identifier: Apache-2.0
// The window's 10 ms ticks, as TickPacer runs them, with the line watched in between: between
// ticks the pacer waits on the adapter itself (poll() on a serial device, the vendor library's
// event, the simulated line's own timing) and whenever bytes wait in its receive queue the window
// takes them at once (UpdaterWindow::OnLineReadable), so a reply is acted on when it is in, not
// at the next tick's polls. The ticks themselves still come every 10 ms of the clock and count
// every wait.
#pragma once

#include <cstdint>
#include <functional>

#include "app/window_pacer.h"
#include "link/clock.h"

namespace quillmont {

class UpdaterWindow;

class EventPacer : public WindowPacer {
 public:
  // While the window takes nothing from the line (no fixture known yet, or no adapter), the
  // pacer waits on the clock instead: in steps of 100 us on a VirtualClock (time moves on
  // without counting a sleep) and of 1 ms on any other clock (a sleep).
  EventPacer(UpdaterWindow& window, Clock& clock);
  EventPacer(UpdaterWindow& window, VirtualClock& clock);

  void Tick() override;
  int64_t ticks_run() const override { return ticks_run_; }
  uint64_t last_tick_start() const { return last_tick_start_; }

 private:
  UpdaterWindow& window_;
  Clock& clock_;
  std::function<void(uint64_t micros)> wait_;
  uint64_t look_micros_;
  uint64_t next_due_;
  uint64_t last_tick_start_ = 0;
  int64_t ticks_run_ = 0;
};

}  // namespace quillmont
