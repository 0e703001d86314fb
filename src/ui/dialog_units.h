// SPDX-License-Identifier: Apache-2.0
// Dialog units: the font-relative measure in which the window's layout is given. One horizontal
// unit is a quarter of the dialog font's average character width, one vertical unit an eighth of
// its height, and a rectangle is converted the way the Windows platform maps a dialog rectangle.
#pragma once

#include <QFont>
#include <QRect>

namespace quillmont::ui {

struct DialogBaseUnits {
  int x = 0;  // average character width in pixels
  int y = 0;  // character height in pixels
};

// Base units of a font: the width of the 52 letters A-Z a-z divided by 52 and rounded, and the
// font's height.
DialogBaseUnits MeasureBaseUnits(const QFont& font);

// value * numerator / denominator, rounded half away from zero (as MulDiv does).
int MulDivRound(int value, int numerator, int denominator);

int DluToPixelsX(int dlu, DialogBaseUnits units);
int DluToPixelsY(int dlu, DialogBaseUnits units);
// A rectangle of x, y, width, height in dialog units, in pixels; each of the four numbers is
// mapped on its own, as a dialog template's controls are.
QRect DluRectToPixels(int x, int y, int width, int height, DialogBaseUnits units);

// The font of the window and its dialogs: "MS Sans Serif" 8 pt where it exists, otherwise the
// platform's sans-serif at 8 pt.
QFont DialogFont();

}  // namespace quillmont::ui
