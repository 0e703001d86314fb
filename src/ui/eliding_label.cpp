// SPDX-License-Identifier: Apache-2.0
#include "ui/eliding_label.h"

#include <QPainter>
#include <QStyle>

namespace quillmont::ui {

ElidingLabel::ElidingLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
}

void ElidingLabel::SetFullText(const QString& text) {
  setText(text);
  UpdateToolTip();
}

QString ElidingLabel::ShownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

void ElidingLabel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()), palette(),
                        isEnabled(), ShownText(), foregroundRole());
}

void ElidingLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  UpdateToolTip();
}

void ElidingLabel::UpdateToolTip() {
  setToolTip(ShownText() == text() ? QString() : text());
}

}  // namespace quillmont::ui
