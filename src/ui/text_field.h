// SPDX-License-Identifier: Apache-2.0
// The multi-line edit fields of the window. `UidEdit` and `DmxAddressEdit` centre their text,
// take Enter as a line break and scroll sideways instead of wrapping; `LogPane` is read-only
// with a vertical scroll bar. Line breaks are CR LF towards the core, as in a Windows edit
// control, and plain line feeds inside the widget.
#pragma once

#include <QTextEdit>
#include <string>

namespace quillmont::ui {

class TextField : public QTextEdit {
  Q_OBJECT

 public:
  enum class Role { Centred, Log };
  TextField(Role role, QWidget* parent = nullptr);

  // The text with CR LF line breaks, and its replacement by the system (no operator edit).
  std::string Text() const;
  void SetText(const std::string& text);
  // Appends at the end without touching what is already there.
  void AppendText(const std::string& tail);

 signals:
  // The operator changed the text (typing, pasting, cutting); never sent for SetText/AppendText.
  void EditedByOperator();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void KeepCentred();

  Role role_;
  bool system_write_ = false;
};

// CR LF and lone CR become LF for the widget; LF becomes CR LF for the core.
QString ToWidgetText(const std::string& text);
std::string FromWidgetText(const QString& text);

}  // namespace quillmont::ui
