// SPDX-License-Identifier: Apache-2.0
// Where the main window's controls go in a client area of any size. At the template's size every
// control is at its dialog-unit rectangle. A taller or shorter window changes the log pane first:
// it stretches, or shrinks down to a few lines. Below that the part above the log gives way: the
// free bands between its rows narrow, each down to a least gap, while every row (and whatever
// shares a row) keeps its height and the controls keep their order and their places relative to
// one another. A wider window widens the log pane and the frame view.
#pragma once

#include <QRect>
#include <QSize>
#include <algorithm>
#include <vector>

namespace quillmont::ui {

struct LayoutMeasures {
  QSize client;              // the template's client area, in pixels
  QRect log;                 // the log pane at that size
  int strip = 0;             // the progress bar's strip just above the log pane
  int least_gap = 0;         // the least free band left between two rows
  int least_log_height = 0;  // the log pane shrinks no further
};

class WindowLayout {
 public:
  // `rows`: the rectangles, at the template's size, of the shown controls above the log pane.
  WindowLayout(const LayoutMeasures& measures, const std::vector<QRect>& rows);

  // The smallest client area in which every control still has its place.
  QSize minimum_client() const { return minimum_; }
  // A control above the log pane, placed at `rect` at the template's size, in a client area of
  // `size`; `stretch` widens it with the window.
  QRect Place(const QRect& rect, QSize size, bool stretch) const;
  QRect PlaceLog(QSize size) const;
  // Moves and heights are made multiples of `step` pixels: at a fractional device pixel ratio
  // (150 %: a step of 2) every control then keeps its edges on whole device pixels, where the
  // style draws its frame lines.
  void set_step(int step) { step_ = std::max(1, step); }
  // The least step for a device pixel ratio: 1 at 100 % and 200 %, 2 at 150 %, 4 at 125 %.
  static int StepFor(double device_pixel_ratio);

 private:
  struct Band {
    int top;
    int bottom;  // exclusive
    int spare;   // how much of it may go
  };
  // The height the part above the log pane takes in a client area `height` high.
  int UpperHeight(int height) const;
  // How far a point `y` of the part above the log pane moves up when that part is `upper` high.
  int Shift(int y, int upper) const;

  LayoutMeasures measures_;
  int bottom_margin_ = 0;
  int spare_ = 0;
  std::vector<Band> bands_;
  QSize minimum_;
  int step_ = 1;
};

}  // namespace quillmont::ui
