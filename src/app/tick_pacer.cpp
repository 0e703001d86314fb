// SPDX-License-Identifier: Apache-2.0
#include "app/tick_pacer.h"

#include "app/control_ids.h"
#include "app/updater_window.h"

namespace quillmont {
namespace {

constexpr uint64_t kPeriodMicros = static_cast<uint64_t>(kTickPeriodMs) * 1000;

}  // namespace

TickPacer::TickPacer(UpdaterWindow& window, Clock& clock)
    : window_(window),
      clock_(clock),
      wait_([&clock](uint64_t micros) {
        clock.SleepMs(static_cast<uint32_t>((micros + 999) / 1000));
      }),
      next_due_(clock.NowMicros() + kPeriodMicros) {}

TickPacer::TickPacer(UpdaterWindow& window, VirtualClock& clock)
    : window_(window),
      clock_(clock),
      wait_([&clock](uint64_t micros) { clock.AdvanceMicros(micros); }),
      next_due_(clock.NowMicros() + kPeriodMicros) {}

void TickPacer::Tick() {
  const uint64_t now = clock_.NowMicros();
  if (next_due_ > now) {
    wait_(next_due_ - now);
  }
  // A tick that overran its period is followed at once by the next one.
  last_tick_start_ = clock_.NowMicros();
  next_due_ = last_tick_start_ + kPeriodMicros;
  ++ticks_run_;
  window_.OnTick(kTickTimerId);
}

}  // namespace quillmont
