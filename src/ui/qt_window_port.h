// SPDX-License-Identifier: Apache-2.0
// The WindowPort of the desktop window: the core's user-interface operations carried out on the
// Qt dialog. Everything runs on the GUI thread; the modal boxes run nested event loops, so the
// 10 ms timer and with it the core's tick go on while they are open.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <string>

#include "app/window_port.h"

namespace quillmont::ui {

class UpdaterDialog;

class QtWindowPort : public WindowPort {
 public:
  explicit QtWindowPort(UpdaterDialog& dialog);

  // What the periodic timer calls (the core's OnTick).
  void SetTickHandler(std::function<void()> on_tick) { on_tick_ = std::move(on_tick); }
  // Runs what one expiry of the timer runs, for ticks paced by hand.
  void RunTimerTick() {
    if (on_tick_)
      on_tick_();
  }
  // What the line watch's timer calls between the ticks while an update runs under the event
  // pacing (the core's OnTick with kLineWatchTimerId), and one expiry of it run by hand.
  void SetLineWatchHandler(std::function<void()> on_watch) { on_watch_ = std::move(on_watch); }
  void RunLineWatch() {
    if (on_watch_)
      on_watch_();
  }

  void SetControlText(int id, const std::string& text) override;
  std::string GetControlText(int id) override;
  void ScrollLogToEnd() override;

  void ComboAddString(int id, const std::string& text) override;
  int ComboFindStringExact(int id, const std::string& text) override;
  void ComboSetCurSel(int id, int index) override;
  int ComboGetCurSel(int id) override;
  std::string ComboGetItemText(int id, int index) override;

  void ShowMessageBox(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  void Beep() override;

  int StartTimer(int id, int period_ms) override;
  void StopTimer(int timer_id) override;
  // Stops the periodic timers whatever their identifiers (the window has ended).
  void StopAllTimers() {
    timer_.stop();
    line_watch_.stop();
  }
  const QTimer& timer() const { return timer_; }
  const QTimer& line_watch_timer() const { return line_watch_; }

  Rect GetControlRect(int id) override;
  void FillRect(const Rect& rect, Rgb pen, Rgb brush) override;
  void Invalidate() override;

  std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;

  void CloseQuestion() override;
  void SetProgressText(const std::string& text) override;
  void FocusControl(int id) override;
  std::string LocalTimeText() override;

  void ShowAboutBox() override;
  void DefaultSystemCommand(int command) override;
  void EndDialog(int result) override;

  // The caption of the message boxes: the executable's file name without its extension.
  static QString MessageBoxCaption();

 private:
  UpdaterDialog& dialog_;
  QTimer timer_;
  int timer_id_ = 0;
  std::function<void()> on_tick_;
  // The event pacing's look at the line between ticks: a short timer, so that the event loop
  // goes on between two looks (the GUI thread never waits on the line).
  QTimer line_watch_;
  std::function<void()> on_watch_;
  // The question AskYesNo has open, for CloseQuestion.
  QPointer<QMessageBox> question_;
  // The log as the core last wrote it, so that a longer text that begins with it is appended
  // rather than rewritten, and so that reading the log back gives the core's bytes exactly.
  std::string log_text_;
  // FrameView's text as the core wrote it.
  std::string frame_text_;
};

}  // namespace quillmont::ui
