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
  // Monotonic time in microseconds since an arbitrary origin.
  virtual uint64_t NowMicros() const = 0;
};

class SystemClock final : public Clock {
 public:
  void SleepMs(uint32_t ms) override;
  uint64_t NowMicros() const override;
};

class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(uint64_t start_micros = 0) : now_micros_(start_micros) {}

  void SleepMs(uint32_t ms) override {
    now_micros_ += static_cast<uint64_t>(ms) * 1000;
    ++sleep_calls_;
    slept_ms_ += ms;
  }
  uint64_t NowMicros() const override { return now_micros_; }

  // Moves time on without counting a sleep (the pause between two timer ticks, say).
  void AdvanceMicros(uint64_t micros) { now_micros_ += micros; }

  // How often SleepMs was called and how many milliseconds it slept in all.
  uint64_t sleep_calls() const { return sleep_calls_; }
  uint64_t slept_ms() const { return slept_ms_; }

 private:
  uint64_t now_micros_;
  uint64_t sleep_calls_ = 0;
  uint64_t slept_ms_ = 0;
};

}  // namespace quillmont
