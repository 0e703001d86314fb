// SPDX-License-Identifier: Apache-2.0
#include "ui/about_box.h"

#include <QLabel>
#include <QPushButton>

#include "app/control_ids.h"
#include "ui/app_icon.h"
#include "ui/control_table.h"
#include "ui/dialog_units.h"

namespace quillmont::ui {

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QLatin1String(kAboutCaption));
  setFont(DialogFont());
  const DialogBaseUnits units = MeasureBaseUnits(font());
  setFixedSize(DluToPixelsX(kAboutWidthDlu, units), DluToPixelsY(kAboutHeightDlu, units));

  // An icon control takes the icon's own size at its place, whatever the template says.
  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("AboutIcon"));
  icon->setPixmap(AppIcon().pixmap(32, 32));
  const QRect icon_place = DluRectToPixels(11, 17, 20, 20, units);
  icon->setGeometry(icon_place.left(), icon_place.top(), 32, 32);

  auto* text = new QLabel(QLatin1String(kAboutText), this);
  text->setObjectName(QStringLiteral("AboutText"));
  text->setTextFormat(Qt::PlainText);
  text->setGeometry(DluRectToPixels(40, 10, 119, 8, units));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("OkButton"));
  ok->setProperty("controlId", kExitButton);
  ok->setDefault(true);
  ok->setGeometry(DluRectToPixels(178, 7, 50, 14, units));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace quillmont::ui
