// SPDX-License-Identifier: Apache-2.0
// The baud rate list. Only a choice made in the dropped list applies: the closed list takes no
// typing, no arrow or page keys and no mouse wheel, so that a stray key or a scroll over the
// window can never move the line to a rate the fixture does not speak. The list opens with a
// click, Space, F4 or Alt+Down, and reports `activated` when an entry is chosen in it.
#pragma once

#include <QComboBox>

namespace quillmont::ui {

class BaudList : public QComboBox {
  Q_OBJECT

 public:
  explicit BaudList(QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
};

}  // namespace quillmont::ui
