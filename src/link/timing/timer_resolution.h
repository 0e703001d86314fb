// SPDX-License-Identifier: Apache-2.0
// The system timer's resolution while a line is open. Windows sleeps and waits in whole periods
// of its timer, 15.6 ms unless a program asks for finer: a break, a mark-after-break and the
// waits for a reply would last that long. While an adapter is open the timer runs at 1 ms
// (timeBeginPeriod); elsewhere this is nothing.
#pragma once

namespace quillmont {

class FineTimerResolution {
 public:
  FineTimerResolution();
  ~FineTimerResolution();
  FineTimerResolution(const FineTimerResolution&) = delete;
  FineTimerResolution& operator=(const FineTimerResolution&) = delete;

  // Whether the finer resolution was granted (always false where there is nothing to ask).
  bool taken() const { return taken_; }

 private:
  bool taken_ = false;
};

}  // namespace quillmont
