// SPDX-License-Identifier: Apache-2.0
#include "ui/qt_window_port.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QScrollBar>
#include <optional>

#include "app/control_ids.h"
#include "app/shown_frame_text.h"
#include "ui/about_box.h"
#include "ui/control_table.h"
#include "ui/eliding_label.h"
#include "ui/text_field.h"
#include "ui/updater_dialog.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace quillmont::ui {

QtWindowPort::QtWindowPort(UpdaterDialog& dialog) : dialog_(dialog) {
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    if (on_tick_)
      on_tick_();
  });
  line_watch_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&line_watch_, &QTimer::timeout, [this] {
    if (on_watch_)
      on_watch_();
  });
}

void QtWindowPort::SetControlText(int id, const std::string& text) {
  QWidget* control = dialog_.Control(id);
  if (auto* field = qobject_cast<TextField*>(control)) {
    if (id == kLogPane) {
      // The pane is read-only, so it still holds log_text_.
      const bool extends =
          text.size() >= log_text_.size() && text.compare(0, log_text_.size(), log_text_) == 0;
      if (extends) {
        if (text.size() > log_text_.size())
          field->AppendText(text.substr(log_text_.size()));
      } else {
        field->SetText(text);
      }
      log_text_ = text;
      return;
    }
    // The core rewrites all three bound texts with every log line; an unchanged field is left
    // alone (a rewrite would lay its text out again and move its cursor to the start).
    if (field->Text() != text)
      field->SetText(text);
  } else if (auto* eliding = qobject_cast<ElidingLabel*>(control)) {
    eliding->SetFullText(ToWidgetText(text));
  } else if (auto* label = qobject_cast<QLabel*>(control)) {
    if (id == kFrameView) {
      frame_text_ = text;
      label->setText(ToWidgetText(FrameViewShownText(text)));
      return;
    }
    label->setText(ToWidgetText(text));
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    button->setText(WithMnemonic(QString::fromStdString(text)));
  } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
    combo->setEditText(QString::fromStdString(text));
  }
}

std::string QtWindowPort::GetControlText(int id) {
  QWidget* control = dialog_.Control(id);
  if (auto* field = qobject_cast<TextField*>(control)) {
    return id == kLogPane ? log_text_ : field->Text();
  }
  if (id == kFrameView)
    return frame_text_;
  if (auto* label = qobject_cast<QLabel*>(control))
    return FromWidgetText(label->text());
  if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    return WithoutMnemonic(button->text()).toStdString();
  }
  if (auto* combo = qobject_cast<QComboBox*>(control))
    return combo->currentText().toStdString();
  return {};
}

void QtWindowPort::ScrollLogToEnd() {
  if (TextField* log = dialog_.Field(kLogPane)) {
    log->verticalScrollBar()->setValue(log->verticalScrollBar()->maximum());
  }
}

void QtWindowPort::ComboAddString(int id, const std::string& text) {
  if (QComboBox* combo = dialog_.Combo(id)) {
    const QSignalBlocker quiet(combo);
    combo->addItem(QString::fromStdString(text));
    // An editable combo box selects its first entry by itself; the list starts with none.
    if (combo->count() == 1)
      combo->setCurrentIndex(-1);
  }
}

int QtWindowPort::ComboFindStringExact(int id, const std::string& text) {
  QComboBox* combo = dialog_.Combo(id);
  if (combo == nullptr)
    return -1;
  return combo->findText(QString::fromStdString(text), Qt::MatchFixedString);
}

void QtWindowPort::ComboSetCurSel(int id, int index) {
  if (QComboBox* combo = dialog_.Combo(id)) {
    const QSignalBlocker quiet(combo);
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
  }
}

int QtWindowPort::ComboGetCurSel(int id) {
  QComboBox* combo = dialog_.Combo(id);
  return combo == nullptr ? -1 : combo->currentIndex();
}

std::string QtWindowPort::ComboGetItemText(int id, int index) {
  QComboBox* combo = dialog_.Combo(id);
  if (combo == nullptr || index < 0 || index >= combo->count())
    return {};
  return combo->itemText(index).toStdString();
}

QString QtWindowPort::MessageBoxCaption() {
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void QtWindowPort::ShowMessageBox(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, MessageBoxCaption(), QString::fromStdString(text),
                  QMessageBox::Ok, &dialog_);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool QtWindowPort::AskYesNo(const std::string& text) {
  QMessageBox box(QMessageBox::Question, MessageBoxCaption(), QString::fromStdString(text),
                  QMessageBox::Yes | QMessageBox::No, &dialog_);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  question_ = &box;
  const bool yes = box.exec() == QMessageBox::Yes;
  question_ = nullptr;
  return yes;
}

void QtWindowPort::CloseQuestion() {
  if (question_ != nullptr)
    question_->done(QMessageBox::No);
}

void QtWindowPort::SetProgressText(const std::string& text) {
  dialog_.SetProgressText(QString::fromStdString(text));
}

void QtWindowPort::FocusControl(int id) {
  if (QWidget* control = dialog_.Control(id))
    control->setFocus(Qt::OtherFocusReason);
}

std::string QtWindowPort::LocalTimeText() {
  return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
}

void QtWindowPort::Beep() {
  QApplication::beep();
}

int QtWindowPort::StartTimer(int id, int period_ms) {
  if (id == kLineWatchTimerId) {
    line_watch_.start(period_ms);
    return id;
  }
  timer_id_ = id;
  timer_.start(period_ms);
  return id;
}

void QtWindowPort::StopTimer(int timer_id) {
  if (timer_id == kLineWatchTimerId)
    line_watch_.stop();
  else if (timer_id == timer_id_)
    timer_.stop();
}

Rect QtWindowPort::GetControlRect(int id) {
  const QWidget* control = dialog_.Control(id);
  if (control == nullptr)
    return {};
  const QRect rect = control->geometry();
  return Rect{rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

void QtWindowPort::FillRect(const Rect& rect, Rgb pen, Rgb brush) {
  dialog_.ShowBar(QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top),
                  QColor(pen.r, pen.g, pen.b), QColor(brush.r, brush.g, brush.b));
}

void QtWindowPort::Invalidate() {
  dialog_.ClearBar();
}

std::optional<std::string> QtWindowPort::OpenFileDialog(const FileDialogRequest& request) {
  QFileDialog dialog(&dialog_, QString::fromStdString(request.title),
                     QString::fromStdString(request.initial_directory));
  QStringList filters{QStringLiteral("%1 (%2)").arg(
      QString::fromStdString(request.filter_text), QString::fromStdString(request.filter_pattern))};
  if (request.offer_all_files)
    filters << QStringLiteral("All files (*)");
  dialog.setNameFilters(filters);
  dialog.setObjectName(QStringLiteral("FirmwareFileDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(request.file_must_exist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setDefaultSuffix(QString::fromStdString(request.default_extension));
  // The filter shows its own text only, as the platform's dialog does.
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return std::nullopt;
  const QString path = dialog.selectedFiles().constFirst();
  if (request.file_must_exist && !QFileInfo(path).isFile())
    return std::nullopt;
  std::string chosen = QFile::encodeName(path).toStdString();
  // The platform dialog fails when the path does not fit its buffer (terminator included).
  if (chosen.empty() || chosen.size() >= request.buffer_size)
    return std::nullopt;
  return chosen;
}

void QtWindowPort::ShowAboutBox() {
  AboutBox box(&dialog_);
  box.exec();
}

void QtWindowPort::DefaultSystemCommand([[maybe_unused]] int command) {
#ifdef Q_OS_WIN
  ::DefWindowProcW(reinterpret_cast<HWND>(dialog_.winId()), WM_SYSCOMMAND,
                   static_cast<WPARAM>(command), 0);
#endif
}

void QtWindowPort::EndDialog(int result) {
  dialog_.done(result);
}

}  // namespace quillmont::ui
