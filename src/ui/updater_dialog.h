// SPDX-License-Identifier: Apache-2.0
// The main window as a Qt dialog: every control of the window's template with its ID, name,
// text, alignment, tab order, and place and size converted from dialog units with the dialog
// font. It knows nothing of the updater core: it reports what the operator does through
// signals, and QtWindowPort drives it for the core.
#pragma once

#include <QColor>
#include <QDialog>
#include <QRect>
#include <map>
#include <optional>

#include "ui/dialog_units.h"

class QAction;
class QComboBox;
class QLabel;
class QPushButton;

namespace quillmont::ui {

class TextField;
class UpDownControl;

// The name of the dynamic property that holds a control's numeric ID.
inline constexpr const char* kControlIdProperty = "controlId";

class UpdaterDialog : public QDialog {
  Q_OBJECT

 public:
  explicit UpdaterDialog(QWidget* parent = nullptr);

  // The control with that ID, or null.
  QWidget* Control(int id) const;
  TextField* Field(int id) const;
  QComboBox* Combo(int id) const;
  DialogBaseUnits base_units() const { return base_units_; }

  // The progress bar: a rectangle (right and bottom exclusive) outlined in `pen` and filled with
  // `brush`, painted until ClearBar.
  void ShowBar(const QRect& rect, QColor pen, QColor brush);
  void ClearBar();
  // A line over the progress strip (percent, bytes and time left, or the end); cleared with the
  // bar.
  void SetProgressText(const QString& text);
  const QString& progress_text() const { return progress_text_; }

  // The About entry of the window's menu (the context menu here, the system menu on Windows),
  // also on F1 and on the "?" button.
  QAction* about_action() const { return about_action_; }
  QWidget* help_button() const { return help_button_; }

  // While an update runs, the controls that would disturb it are disabled: Discover Node,
  // Identify, Stop Identify, Refresh, Set, the UID and address fields and the baud list.
  void SetUpdateRunning(bool running);
  bool update_running() const { return update_running_; }
  // While the Rig dialog has the line, every command is disabled but Exit.
  void SetLineLent(bool lent);

 signals:
  // A push button was clicked (Enter on the default button and Escape included).
  void ButtonClicked(int id);
  // Enter, Space or the Alt-letter on the Update button while an update runs: not a click (the
  // window asks before it aborts).
  void ButtonKeyed(int id);
  // The operator changed the text of UidEdit.
  void UidEditedByOperator();
  // The up-down control proposes a change of its position.
  void SubDeviceDelta(int delta);
  // The operator chose an entry of the baud list.
  void BaudSelected();
  // The close box, Alt+F4 or the system menu's Close.
  void CloseRequested();
  // A command of the window's menu.
  void SystemCommand(int command);

 public slots:
  // Escape and the default close handling act through the hidden Cancel button.
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
#ifdef Q_OS_WIN
  bool nativeEvent(const QByteArray& event_type, void* message, qintptr* result) override;
#endif

 private:
  void CreateControls();
  void AddSystemMenuEntry();
  void AddHelpEntry();
  void AddRigShortcut();

  DialogBaseUnits base_units_;
  std::map<int, QWidget*> controls_;
  QAction* about_action_ = nullptr;
  QWidget* help_button_ = nullptr;
  bool update_running_ = false;

  struct Bar {
    QRect rect;
    QColor pen;
    QColor brush;
  };
  std::optional<Bar> bar_;
  QString progress_text_;
};

}  // namespace quillmont::ui
