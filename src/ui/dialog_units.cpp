// SPDX-License-Identifier: Apache-2.0
#include "ui/dialog_units.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QString>
#include <QStringList>
#include <cstdlib>

namespace quillmont::ui {

DialogBaseUnits MeasureBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters_width = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return DialogBaseUnits{(letters_width + 26) / 52, metrics.height()};
}

int MulDivRound(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = std::llabs(static_cast<long long>(denominator)) / 2;
  const bool negative = (product < 0) != (denominator < 0);
  const long long magnitude =
      (std::llabs(product) + half) / std::llabs(static_cast<long long>(denominator));
  return static_cast<int>(negative ? -magnitude : magnitude);
}

int DluToPixelsX(int dlu, DialogBaseUnits units) {
  return MulDivRound(dlu, units.x, 4);
}

int DluToPixelsY(int dlu, DialogBaseUnits units) {
  return MulDivRound(dlu, units.y, 8);
}

QRect DluRectToPixels(int x, int y, int width, int height, DialogBaseUnits units) {
  return QRect(DluToPixelsX(x, units), DluToPixelsY(y, units), DluToPixelsX(width, units),
               DluToPixelsY(height, units));
}

QFont DialogFont() {
  const QString preferred = QStringLiteral("MS Sans Serif");
  QFont font;
  if (QFontDatabase::families().contains(preferred, Qt::CaseInsensitive)) {
    font.setFamily(preferred);
  } else {
    font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
  }
  font.setPointSize(8);
  return font;
}

}  // namespace quillmont::ui
