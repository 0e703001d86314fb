// SPDX-License-Identifier: Apache-2.0
// What drives UpdaterWindow::OnTick on a clock: the window's own 10 ms timer (TickPacer), or
// the same ticks with replies taken as soon as they wait on the line (EventPacer).
#pragma once

#include <cstdint>
#include <functional>

namespace quillmont {

// How the window is paced between its ticks.
enum class Pacing {
  kTick,   // the receiver reads only in the tick, one 10 ms poll per read
  kEvent,  // the receiver also reads between ticks, as soon as bytes wait
};

class WindowPacer {
 public:
  virtual ~WindowPacer() = default;

  // Waits until the next tick is due and runs it.
  virtual void Tick() = 0;
  virtual int64_t ticks_run() const = 0;

  // Runs `count` ticks.
  void RunTicks(int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
      Tick();
    }
  }
  // Runs ticks until `done` holds (tested before each tick), at most `max_ticks` of them.
  // Returns whether `done` holds at the end.
  bool RunUntil(const std::function<bool()>& done, int64_t max_ticks) {
    for (int64_t i = 0; i < max_ticks; ++i) {
      if (done()) {
        return true;
      }
      Tick();
    }
    return done();
  }
};

}  // namespace quillmont
