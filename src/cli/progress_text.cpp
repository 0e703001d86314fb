// SPDX-License-Identifier: Apache-2.0
#include "cli/progress_text.h"

#include <algorithm>
#include <cstdio>

#include "cli/console_text.h"

namespace quillmont::cli {
namespace {

// Below this much programming time the rate is not yet worth showing.
constexpr uint64_t kMinRateMicros = 200000;

}  // namespace

std::string FormatDuration(uint64_t seconds) {
  char text[32];
  const uint64_t h = seconds / 3600;
  const uint64_t m = seconds / 60 % 60;
  const uint64_t s = seconds % 60;
  if (h > 0) {
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", static_cast<unsigned long long>(h),
                  static_cast<unsigned long long>(m), static_cast<unsigned long long>(s));
  } else {
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(m),
                  static_cast<unsigned long long>(s));
  }
  return text;
}

std::string FormatRate(double bytes_per_second) {
  char text[32];
  if (bytes_per_second < 1024.0) {
    std::snprintf(text, sizeof text, "%.0f B/s", bytes_per_second);
  } else {
    std::snprintf(text, sizeof text, "%.1f KiB/s", bytes_per_second / 1024.0);
  }
  return text;
}

std::string FormatProgressLine(const FlashProgress& progress, size_t width) {
  const int64_t to_write = std::max<int64_t>(progress.to_write, 0);
  const int64_t written = std::clamp<int64_t>(progress.written, 0, to_write);
  char head[64];
  std::snprintf(head, sizeof head, "%3d%%  %lld/%lld B", std::clamp(progress.percent, 0, 100),
                static_cast<long long>(written), static_cast<long long>(to_write));
  std::string line = head;
  if (progress.program_micros >= kMinRateMicros && written > 0) {
    const double rate =
        static_cast<double>(written) * 1e6 / static_cast<double>(progress.program_micros);
    const auto left = static_cast<uint64_t>(static_cast<double>(to_write - written) / rate + 0.5);
    line += "  " + FormatRate(rate) + "  " + FormatDuration(left) + " left";
  } else {
    line += "  --  -- left";
  }
  if (!progress.step.empty()) {
    line += "  " + progress.step;
  }
  return FirstColumns(line, width);
}

}  // namespace quillmont::cli
