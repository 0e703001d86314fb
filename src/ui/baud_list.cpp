// SPDX-License-Identifier: Apache-2.0
#include "ui/baud_list.h"

#include <QKeyEvent>
#include <QWheelEvent>

namespace quillmont::ui {

BaudList::BaudList(QWidget* parent) : QComboBox(parent) {
  setEditable(false);  // no field to type into, so no completer either
  setMaxVisibleItems(8);
}

void BaudList::keyPressEvent(QKeyEvent* event) {
  const bool alt = (event->modifiers() & Qt::AltModifier) != 0;
  switch (event->key()) {
    case Qt::Key_F4:
    case Qt::Key_Space:
      QComboBox::keyPressEvent(event);  // opens the list
      return;
    case Qt::Key_Down:
    case Qt::Key_Up:
      if (alt) {
        QComboBox::keyPressEvent(event);  // Alt+Down opens the list, Alt+Up closes it
      } else {
        event->accept();  // would step the rate on the closed list
      }
      return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      QComboBox::keyPressEvent(event);  // focus moves, or the window's default handling
      return;
    default:
      // Page keys, Home, End and typed characters would pick an entry on the closed list.
      event->accept();
      return;
  }
}

void BaudList::wheelEvent(QWheelEvent* event) {
  event->ignore();
}

}  // namespace quillmont::ui
