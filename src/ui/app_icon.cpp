// SPDX-License-Identifier: Apache-2.0
#include "ui/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace quillmont::ui {

QImage DrawAppIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 32.0, size / 32.0);

  // A dark rounded tile.
  painter.setPen(QPen(QColor(16, 24, 48), 1.0));
  painter.setBrush(QColor(36, 52, 96));
  painter.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 6, 6);

  // The fixture's head: a yoke and a lens throwing a beam.
  QPainterPath beam;
  beam.moveTo(9, 15);
  beam.lineTo(2, 29);
  beam.lineTo(16, 29);
  beam.closeSubpath();
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 214, 64, 150));
  painter.drawPath(beam);
  painter.setBrush(QColor(200, 204, 214));
  painter.drawRoundedRect(QRectF(4, 5, 11, 10), 2, 2);
  painter.setBrush(QColor(255, 226, 96));
  painter.drawEllipse(QRectF(6.5, 8, 6, 6));

  // The download arrow into the fixture.
  painter.setBrush(QColor(72, 208, 96));
  QPainterPath arrow;
  arrow.moveTo(20, 3);
  arrow.lineTo(26, 3);
  arrow.lineTo(26, 13);
  arrow.lineTo(30, 13);
  arrow.lineTo(23, 21);
  arrow.lineTo(16, 13);
  arrow.lineTo(20, 13);
  arrow.closeSubpath();
  painter.drawPath(arrow);

  // The flash chip the arrow loads.
  painter.setBrush(QColor(20, 20, 24));
  painter.drawRect(QRectF(18, 23, 10, 6));
  painter.setBrush(QColor(200, 204, 214));
  for (int pin = 0; pin < 4; ++pin) {
    painter.drawRect(QRectF(18.5 + pin * 2.5, 21.5, 1.2, 1.5));
    painter.drawRect(QRectF(18.5 + pin * 2.5, 29, 1.2, 1.5));
  }
  painter.end();
  return image;
}

QIcon AppIcon() {
  QIcon icon;
  for (const char* path : {":/icons/quillmont-32.png", ":/icons/quillmont-16.png"}) {
    const QPixmap pixmap{QString::fromLatin1(path)};
    if (!pixmap.isNull())
      icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace quillmont::ui
