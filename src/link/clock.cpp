// SPDX-License-Identifier: Apache-2.0
#include "link/clock.h"

#include <chrono>
#include <thread>

namespace quillmont {
namespace {

using Steady = std::chrono::steady_clock;

// The last stretch of a short wait that is spun rather than slept: more than the system timer's
// slack. Windows sleeps in whole timer periods (1 ms while a line is open, 15.6 ms otherwise).
#if defined(_WIN32)
constexpr auto kSpin = std::chrono::microseconds(2000);
#else
constexpr auto kSpin = std::chrono::microseconds(150);
#endif
// Waits this long or longer need no such precision (a poll's time-out, a pause between looks):
// they are slept whole.
constexpr auto kPreciseUpTo = std::chrono::microseconds(5000);

}  // namespace

void SystemClock::SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void SystemClock::SleepMicros(uint64_t micros) {
  const auto wait = std::chrono::microseconds(micros);
  if (wait >= kPreciseUpTo) {
    std::this_thread::sleep_for(wait);
    return;
  }
  const Steady::time_point until = Steady::now() + wait;
  if (wait > kSpin) {
    std::this_thread::sleep_until(until - kSpin);
  }
  while (Steady::now() < until) {
    std::this_thread::yield();
  }
}

uint64_t SystemClock::NowMicros() const {
  const auto since_epoch = Steady::now().time_since_epoch();
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(since_epoch).count());
}

}  // namespace quillmont
