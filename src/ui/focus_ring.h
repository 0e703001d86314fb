// SPDX-License-Identifier: Apache-2.0
// A clear mark around the control that has the keyboard focus: a ring in the palette's highlight
// colour just outside the control. The window's style draws no focus mark of its own on most of
// the window's controls (its push buttons, the baud list, the log, the up-down control).
#pragma once

#include <QPointer>
#include <QWidget>

namespace quillmont::ui {

class FocusRing : public QWidget {
 public:
  // Marks whichever control of `window` (one of its children) has the focus while `window` is
  // the active window.
  explicit FocusRing(QWidget* window);

  // The control marked now, or null.
  QWidget* target() const { return target_; }
  // How far the ring reaches out of the control, in pixels.
  static constexpr int kWidth = 2;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Follow(QWidget* focused);
  void Fit();

  QPointer<QWidget> target_;
};

}  // namespace quillmont::ui
