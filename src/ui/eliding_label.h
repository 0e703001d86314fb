// SPDX-License-Identifier: Apache-2.0
// A one-line label for a text the fixture chooses (its model description, its software version
// label): a text too long for the label ends in an ellipsis, and the whole text is its tooltip.
// text() stays the whole text.
#pragma once

#include <QLabel>

namespace quillmont::ui {

class ElidingLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ElidingLabel(QWidget* parent = nullptr);

  void SetFullText(const QString& text);
  // The text as it is shown: the whole text, or its start and an ellipsis.
  QString ShownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void UpdateToolTip();
};

}  // namespace quillmont::ui
