// The window's 10 ms ticks, as TickPacer runs them, with the line watched in between: whenever
// bytes wait in the adapter's receive queue the window takes them at once
// (UpdaterWindow::OnLineReadable), so a reply is acted on when it is in, not at the next tick's
// polls. The ticks themselves still come every 10 ms of the clock and count every wait.
#pragma once

#include <cstdint>
#include <functional>

#include "app/window_pacer.h"
#include "link/clock.h"

namespace quillmont {

class UpdaterWindow;

class EventPacer : public WindowPacer {
 public:
  // Between ticks, the line is looked at every 100 us on a VirtualClock (time moves on without
  // counting a sleep) and every 1 ms on any other clock (a sleep).
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
