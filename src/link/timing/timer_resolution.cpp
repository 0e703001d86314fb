// SPDX-License-Identifier: Apache-2.0
#include "link/timing/timer_resolution.h"

#if defined(_WIN32)
// clang-format off
#include <windows.h>
#include <timeapi.h>
// clang-format on
#endif

namespace quillmont {

#if defined(_WIN32)

FineTimerResolution::FineTimerResolution() : taken_(timeBeginPeriod(1) == TIMERR_NOERROR) {}

FineTimerResolution::~FineTimerResolution() {
  if (taken_) {
    timeEndPeriod(1);
  }
}

#else

FineTimerResolution::FineTimerResolution() = default;
FineTimerResolution::~FineTimerResolution() = default;

#endif

}  // namespace quillmont
