// SPDX-License-Identifier: Apache-2.0
#include "ui/up_down_control.h"

#include <QKeyEvent>
#include <QToolButton>

namespace quillmont::ui {

namespace {

QToolButton* MakeArrow(QWidget* parent, Qt::ArrowType arrow, const char* name) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QLatin1String(name));
  button->setArrowType(arrow);
  button->setAutoRepeat(true);
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

}  // namespace

UpDownControl::UpDownControl(QWidget* parent)
    : QWidget(parent),
      up_(MakeArrow(this, Qt::UpArrow, "UpArrow")),
      down_(MakeArrow(this, Qt::DownArrow, "DownArrow")) {
  setFocusPolicy(Qt::StrongFocus);
  connect(up_, &QToolButton::clicked, this, [this] { emit DeltaProposed(-1); });
  connect(down_, &QToolButton::clicked, this, [this] { emit DeltaProposed(1); });
}

void UpDownControl::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Up:
      emit DeltaProposed(-1);
      return;
    case Qt::Key_Down:
      emit DeltaProposed(1);
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void UpDownControl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int upper = height() / 2;
  up_->setGeometry(0, 0, width(), upper);
  down_->setGeometry(0, upper, width(), height() - upper);
}

}  // namespace quillmont::ui
