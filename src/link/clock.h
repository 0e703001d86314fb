// SPDX-License-Identifier: Apache-2.0
// All time in Quillmont goes through a Clock. SystemClock really sleeps; VirtualClock advances
// at once, so that tests and the simulated line run a whole update in milliseconds of real time.
#pragma once

#include <cstdint>

namespace quillmont {

class Clock {
 public:
  virtual ~Clock() = default;
  // Blocks the calling thread for ms milliseconds (virtually or really).
  virtual void SleepMs(uint32_t ms) = 0;
  // Blocks the calling thread for `micros` microseconds: the short waits of the line (a break of
  // 200 us, the mark after it), which a millisecond sleep cannot make.
  virtual void SleepMicros(uint64_t micros) = 0;
  // Monotonic time in microseconds since an arbitrary origin.
  virtual uint64_t NowMicros() const = 0;
};

// Waits on `clock` until its time is `micros` or later; returns at once when it already is.
inline void WaitUntilMicros(Clock& clock, uint64_t micros) {
  const uint64_t now = clock.NowMicros();
  if (micros > now) {
    clock.SleepMicros(micros - now);
  }
}

class SystemClock final : public Clock {
 public:
  void SleepMs(uint32_t ms) override;
  // Sleeps through most of the wait and spins through its last stretch, so that a wait of a few
  // hundred microseconds ends close to its time (a sleep alone overshoots by the system timer's
  // slack: about 50 us on Linux, up to a millisecond on Windows at its finest resolution).
  void SleepMicros(uint64_t micros) override;
  uint64_t NowMicros() const override;
};

class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(uint64_t start_micros = 0) : now_micros_(start_micros) {}

  void SleepMs(uint32_t ms) override { SleepMicros(static_cast<uint64_t>(ms) * 1000); }
  void SleepMicros(uint64_t micros) override {
    now_micros_ += micros;
    ++sleep_calls_;
    slept_micros_ += micros;
  }
  uint64_t NowMicros() const override { return now_micros_; }

  // Moves time on without counting a sleep (the pause between two timer ticks, say).
  void AdvanceMicros(uint64_t micros) { now_micros_ += micros; }

  // How often SleepMs or SleepMicros was called and how long it slept in all.
  uint64_t sleep_calls() const { return sleep_calls_; }
  uint64_t slept_micros() const { return slept_micros_; }
  uint64_t slept_ms() const { return slept_micros_ / 1000; }

 private:
  uint64_t now_micros_;
  uint64_t sleep_calls_ = 0;
  uint64_t slept_micros_ = 0;
};

}  // namespace quillmont
