// SPDX-License-Identifier: Apache-2.0
#include "ui/focus_ring.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QRegion>

namespace quillmont::ui {

FocusRing::FocusRing(QWidget* window) : QWidget(window) {
  setObjectName(QStringLiteral("FocusRing"));
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  hide();
  connect(qApp, &QApplication::focusChanged, this,
          [this](QWidget*, QWidget* focused) { Follow(focused); });
}

void FocusRing::Follow(QWidget* focused) {
  // The window's own child that holds the focus (the focus may sit inside a compound control);
  // none when it is in another window, a message box of this one included.
  QWidget* control = focused;
  while (control != nullptr && !control->isWindow() && control->parentWidget() != parentWidget())
    control = control->parentWidget();
  if (control == this || (control != nullptr && control->isWindow()))
    control = nullptr;
  if (target_ != control) {
    if (target_ != nullptr)
      target_->removeEventFilter(this);
    target_ = control;
    if (target_ != nullptr)
      target_->installEventFilter(this);
  }
  Fit();
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event) {
  if (watched == target_) {
    switch (event->type()) {
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::Show:
      case QEvent::Hide:
        Fit();
        break;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void FocusRing::Fit() {
  if (target_ == nullptr || !target_->isVisible()) {
    hide();
    return;
  }
  setGeometry(target_->geometry().adjusted(-kWidth, -kWidth, kWidth, kWidth));
  // Only the ring is the ring's: the control inside it stays as it is, and stays clickable.
  setMask(QRegion(rect()) - QRegion(rect().adjusted(kWidth, kWidth, -kWidth, -kWidth)));
  raise();
  show();
}

void FocusRing::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Active, QPalette::Highlight));
}

}  // namespace quillmont::ui
