#include "cli/progress_text.h"

#include <algorithm>
#include <cstdio>

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
  const int64_t total = std::max<int64_t>(progress.total, 1);
  const int64_t sent = std::clamp<int64_t>(progress.sent, 0, total);
  char head[64];
  std::snprintf(head, sizeof head, "%3lld%%  %lld/%lld B",
                static_cast<long long>(sent * 100 / total), static_cast<long long>(sent),
                static_cast<long long>(progress.total));
  std::string line = head;
  if (progress.program_micros >= kMinRateMicros && sent > 0) {
    const double rate =
        static_cast<double>(sent) * 1e6 / static_cast<double>(progress.program_micros);
    const auto left = static_cast<uint64_t>(static_cast<double>(total - sent) / rate + 0.5);
    line += "  " + FormatRate(rate) + "  " + FormatDuration(left) + " left";
  } else {
    line += "  --  -- left";
  }
  if (!progress.step.empty() && line.size() + 2 < width) {
    line += "  " + progress.step.substr(0, width - line.size() - 2);
  }
  return line;
}

}  // namespace quillmont::cli
