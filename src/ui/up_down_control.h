// SPDX-License-Identifier: Apache-2.0
// A stand-alone up-down control: two arrow buttons stacked, no buddy field and no position of
// its own. Like the Windows up-down control with its default range, it reports the change it
// proposes: the up arrow (button or key) as -1, the down arrow as +1.
#pragma once

#include <QWidget>

class QToolButton;

namespace quillmont::ui {

class UpDownControl : public QWidget {
  Q_OBJECT

 public:
  explicit UpDownControl(QWidget* parent = nullptr);

 signals:
  void DeltaProposed(int delta);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QToolButton* up_;
  QToolButton* down_;
};

}  // namespace quillmont::ui
