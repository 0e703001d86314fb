// SPDX-License-Identifier: Apache-2.0
#include "ui/window_layout.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quillmont::ui {

WindowLayout::WindowLayout(const LayoutMeasures& measures, const std::vector<QRect>& rows)
    : measures_(measures) {
  const int upper = measures.log.top();
  bottom_margin_ = measures.client.height() - (measures.log.top() + measures.log.height());
  // The vertical extents of the rows and of the progress strip, merged where they overlap: what
  // lies in one merged extent moves as one. The free bands between them are what may narrow.
  std::vector<std::pair<int, int>> taken{{upper - measures.strip, upper}};
  for (const QRect& row : rows) {
    if (row.height() > 0 && row.top() < upper)
      taken.emplace_back(row.top(), std::min(row.top() + row.height(), upper));
  }
  std::sort(taken.begin(), taken.end());
  int free_from = 0;
  for (const auto& [top, bottom] : taken) {
    if (top > free_from) {
      const int spare = std::max(0, top - free_from - measures.least_gap);
      bands_.push_back(Band{free_from, top, spare});
      spare_ += spare;
    }
    free_from = std::max(free_from, bottom);
  }
  minimum_ =
      QSize(measures.client.width(), upper - spare_ + measures.least_log_height + bottom_margin_);
}

int WindowLayout::UpperHeight(int height) const {
  const int upper = measures_.log.top();
  return std::clamp(height - bottom_margin_ - measures_.least_log_height, upper - spare_, upper);
}

int WindowLayout::Shift(int y, int upper) const {
  const int removed = measures_.log.top() - upper;
  if (removed <= 0 || spare_ <= 0)
    return 0;
  // Every band gives the same share of what it can spare.
  const double share = static_cast<double>(removed) / spare_;
  double shift = 0;
  for (const Band& band : bands_) {
    if (band.bottom <= y) {
      shift += band.spare * share;
    } else if (band.top < y) {
      shift += band.spare * share * (y - band.top) / (band.bottom - band.top);
    }
  }
  return static_cast<int>(std::lround(shift / step_)) * step_;
}

int WindowLayout::StepFor(double device_pixel_ratio) {
  for (const int step : {1, 2, 4}) {
    const double device = device_pixel_ratio * step;
    if (std::abs(device - std::round(device)) < 1e-6)
      return step;
  }
  return 1;
}

QRect WindowLayout::Place(const QRect& rect, QSize size, bool stretch) const {
  QRect placed = rect.translated(0, -Shift(rect.top(), UpperHeight(size.height())));
  if (stretch)
    placed.setWidth(rect.width() + std::max(0, size.width() - measures_.client.width()));
  return placed;
}

QRect WindowLayout::PlaceLog(QSize size) const {
  const QRect& log = measures_.log;
  const int top = log.top() - Shift(log.top(), UpperHeight(size.height()));
  int height = size.height() - bottom_margin_ - top;
  height = std::max(measures_.least_log_height, height - height % step_);
  return QRect(log.left(), top, log.width() + std::max(0, size.width() - measures_.client.width()),
               height);
}

}  // namespace quillmont::ui
