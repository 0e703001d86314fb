// SPDX-License-Identifier: Apache-2.0
// The about box: icon 128, the program's name and version, and an OK button. No state and no
// handlers of its own; OK or Escape closes it.
#pragma once

#include <QDialog>

namespace quillmont::ui {

class AboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace quillmont::ui
