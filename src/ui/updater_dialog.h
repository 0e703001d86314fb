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
#include <vector>

#include "ui/dialog_units.h"
#include "ui/window_layout.h"

class QAction;
class QComboBox;
class QLabel;
class QPushButton;

namespace quillmont::ui {

class FocusRing;
class TextField;
class UpDownControl;
struct ControlSpec;

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

  // The client area at the template's size: the window opens at it where the screen has room.
  // Its least size (minimumSize) is where every control still has its place.
  QSize template_size() const { return template_size_; }
  FocusRing* focus_ring() const { return focus_ring_; }

  // The progress bar: a rectangle (right and bottom exclusive) outlined in `pen` and filled with
  // `brush`, painted until ClearBar. It is kept in the strip above the log pane as it was given,
  // and follows the pane when the window is resized.
  void ShowBar(const QRect& rect, QColor pen, QColor brush);
  // Where the bar is painted now; empty when there is none.
  QRect bar_rect() const;
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
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
#ifdef Q_OS_WIN
  bool nativeEvent(const QByteArray& event_type, void* message, qintptr* result) override;
#endif

 private:
  void CreateControls();
  QWidget* MakeControl(const ControlSpec& spec);
  QRect ShownRect(const ControlSpec& spec, const QWidget* widget) const;
  void AddSystemMenuEntry();
  void AddHelpEntry();
  void MakeLayout();
  QSize InitialSize() const;
  void PlaceControls();
  void AddRigShortcut();

  DialogBaseUnits base_units_;
  std::map<int, QWidget*> controls_;
  // Every control above the log pane with its rectangle at the template's size.
  struct Placed {
    QWidget* widget;
    QRect rect;
  };
  std::vector<Placed> placed_;
  QSize template_size_;
  std::optional<WindowLayout> layout_;
  FocusRing* focus_ring_ = nullptr;
  QAction* about_action_ = nullptr;
  QWidget* help_button_ = nullptr;
  bool update_running_ = false;

  // The bar relative to the log pane: its offset from the pane's top left corner, its share of
  // the pane's width and its height.
  struct Bar {
    QPoint offset;
    double width_share;
    int height;
    QColor pen;
    QColor brush;
  };
  std::optional<Bar> bar_;
  QString progress_text_;
};

}  // namespace quillmont::ui
