// SPDX-License-Identifier: Apache-2.0
// The window's user interface without a window: the station runs the same UpdaterWindow core as
// the desktop window, and this port hands on what the core shows. Each new log line, each change
// of the status line and each message box goes to its hook, the file dialog is answered by a path
// given beforehand, and the progress bar becomes a fraction.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/window_port.h"

namespace quillmont {

class HeadlessPort : public WindowPort {
 public:
  // The path the next file dialog returns (once); without one the dialog is cancelled.
  void AnswerFileDialogWith(std::string path) { file_answer_ = std::move(path); }
  // Called with every new log line (without its CR LF).
  std::function<void(const std::string& line)> on_log_line;
  // Called with the text of every message box.
  std::function<void(const std::string& text)> on_message_box;
  std::function<bool(const std::string& question)> answer_yes_no;
  // Called with every change of the status line.
  std::function<void(const std::string& text)> on_status;
  // Called with the progress of the update, 0.0 to 1.0, whenever the bar is drawn.
  std::function<void(double fraction)> on_progress;

  const std::vector<std::string>& message_boxes() const { return message_boxes_; }
  const std::vector<std::string>& log_lines() const { return log_lines_; }
  std::string Text(int id) const;
  int beeps() const { return beeps_; }
  bool ended() const { return end_result_.has_value(); }

  void SetControlText(int id, const std::string& text) override;
  std::string GetControlText(int id) override { return Text(id); }
  void ScrollLogToEnd() override {}
  void ComboAddString(int id, const std::string& text) override;
  int ComboFindStringExact(int id, const std::string& text) override;
  void ComboSetCurSel(int id, int index) override;
  int ComboGetCurSel(int id) override;
  std::string ComboGetItemText(int id, int index) override;
  void ShowMessageBox(const std::string& text) override;
  // Nobody is there to answer: the question is told like a message and answered No, unless
  // `answer_yes_no` says otherwise.
  bool AskYesNo(const std::string& text) override;
  void Beep() override { ++beeps_; }
  int StartTimer(int id, int /*period_ms*/) override { return id; }
  void StopTimer(int /*timer_id*/) override {}
  Rect GetControlRect(int id) override;
  void FillRect(const Rect& rect, Rgb pen, Rgb brush) override;
  void Invalidate() override {}
  std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
  void ShowAboutBox() override;
  void DefaultSystemCommand(int /*command*/) override {}
  void EndDialog(int result) override { end_result_ = result; }

  // The width of the log pane's rectangle; the bar's width against it is the progress.
  static constexpr int32_t kBarWidth = 10000;

 private:
  void SplitNewLogLines(const std::string& log);

  std::map<int, std::string> texts_;
  std::map<int, std::vector<std::string>> combo_items_;
  std::map<int, int> combo_selection_;
  std::vector<std::string> message_boxes_;
  std::vector<std::string> log_lines_;
  size_t log_consumed_ = 0;  // characters of the log text already split into lines
  std::optional<std::string> file_answer_;
  std::optional<int> end_result_;
  int beeps_ = 0;
};

}  // namespace quillmont
