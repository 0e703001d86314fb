// SPDX-License-Identifier: Apache-2.0
#include "app/event_pacer.h"

#include <algorithm>

#include "app/control_ids.h"
#include "app/updater_window.h"

namespace quillmont {
namespace {

constexpr uint64_t kPeriodMicros = static_cast<uint64_t>(kTickPeriodMs) * 1000;
constexpr uint64_t kVirtualLookMicros = 100;
constexpr uint64_t kRealLookMicros = 1000;

}  // namespace

EventPacer::EventPacer(UpdaterWindow& window, Clock& clock)
    : window_(window),
      clock_(clock),
      wait_([&clock](uint64_t micros) {
        clock.SleepMs(static_cast<uint32_t>((micros + 999) / 1000));
      }),
      look_micros_(kRealLookMicros),
      next_due_(clock.NowMicros() + kPeriodMicros) {
  window_.receive_between_ticks = true;
}

EventPacer::EventPacer(UpdaterWindow& window, VirtualClock& clock)
    : window_(window),
      clock_(clock),
      wait_([&clock](uint64_t micros) { clock.AdvanceMicros(micros); }),
      look_micros_(kVirtualLookMicros),
      next_due_(clock.NowMicros() + kPeriodMicros) {
  window_.receive_between_ticks = true;
}

void EventPacer::Tick() {
  // Until the tick is due: whatever waits on the line is taken, then the pacer waits on the
  // adapter itself for the next bytes (or on the clock, while the window takes none).
  for (uint64_t now = clock_.NowMicros(); now < next_due_; now = clock_.NowMicros()) {
    window_.OnLineReadable();
    const uint64_t after = clock_.NowMicros();
    if (after >= next_due_) {
      break;
    }
    if (!window_.WaitForReply(next_due_ - after) || clock_.NowMicros() == after) {
      wait_(std::min(look_micros_, next_due_ - after));
    }
  }
  last_tick_start_ = clock_.NowMicros();
  next_due_ = last_tick_start_ + kPeriodMicros;
  ++ticks_run_;
  window_.OnTick(kTickTimerId);
}

}  // namespace quillmont
