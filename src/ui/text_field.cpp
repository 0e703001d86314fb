// SPDX-License-Identifier: Apache-2.0
#include "ui/text_field.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cmath>
#include <utility>

namespace quillmont::ui {

QString ToWidgetText(const std::string& text) {
  QString widget_text = QString::fromStdString(text);
  widget_text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  widget_text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return widget_text;
}

std::string FromWidgetText(const QString& text) {
  QString core_text = text;
  core_text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return core_text.toStdString();
}

TextField::TextField(Role role, QWidget* parent) : QTextEdit(parent), role_(role) {
  setAcceptRichText(false);
  setTabChangesFocus(true);
  setLineWrapMode(QTextEdit::NoWrap);
  document()->setDocumentMargin(1);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  if (role_ == Role::Log) {
    // Long log lines (the erase list) can be scrolled to; a short log shows no bar.
    setReadOnly(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  } else {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QTextOption option = document()->defaultTextOption();
    option.setAlignment(Qt::AlignHCenter);
    document()->setDefaultTextOption(option);
  }
  connect(this, &QTextEdit::textChanged, this, [this] {
    if (role_ == Role::Centred)
      KeepCentred();
    if (!system_write_)
      emit EditedByOperator();
  });
}

std::string TextField::Text() const {
  return FromWidgetText(toPlainText());
}

void TextField::SetText(const std::string& text) {
  system_write_ = true;
  setPlainText(ToWidgetText(text));
  system_write_ = false;
}

void TextField::AppendText(const std::string& tail) {
  system_write_ = true;
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(ToWidgetText(tail));
  system_write_ = false;
}

void TextField::resizeEvent(QResizeEvent* event) {
  QTextEdit::resizeEvent(event);
  if (role_ != Role::Centred)
    return;
  // A field one line high shows its line in the middle, not at the top edge.
  {
    // Layout changes may re-announce the text; they are not edits.
    const bool was_system_write = std::exchange(system_write_, true);
    const int spare = viewport()->height() - fontMetrics().lineSpacing();
    document()->setDocumentMargin(std::max(1, spare / 2));
    system_write_ = was_system_write;
  }
  KeepCentred();
}

// Without wrapping, a centred line is centred on the longest line; widen the document to the
// visible width so that a short text sits in the middle of the field and a long one scrolls.
void TextField::KeepCentred() {
  const bool was_system_write = std::exchange(system_write_, true);
  QTextDocument* doc = document();
  doc->setTextWidth(-1);
  const qreal natural = doc->idealWidth();
  doc->setTextWidth(std::max<qreal>(natural, viewport()->width()));
  system_write_ = was_system_write;
}

}  // namespace quillmont::ui
