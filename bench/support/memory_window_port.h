// SPDX-License-Identifier: Apache-2.0
// A WindowPort with no toolkit behind it: it keeps every control's text in memory, as a widget
// would, answers the file dialog with a path set beforehand, and draws nothing. The benchmarks
// drive the core through it, so that what they time is the core's own work.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "app/window_port.h"

namespace quillmont::bench {

class MemoryWindowPort final : public WindowPort {
 public:
  // The path the file dialog returns from now on.
  void AnswerFileDialogWith(std::string path) { file_answer_ = std::move(path); }
  std::string Text(int id) const;
  int message_boxes() const { return message_boxes_; }

  void SetControlText(int id, const std::string& text) override { texts_[id] = text; }
  std::string GetControlText(int id) override { return Text(id); }
  void ScrollLogToEnd() override {}
  void ComboAddString(int, const std::string&) override {}
  int ComboFindStringExact(int, const std::string&) override { return -1; }
  void ComboSetCurSel(int, int) override {}
  int ComboGetCurSel(int) override { return -1; }
  std::string ComboGetItemText(int, int) override { return {}; }
  void ShowMessageBox(const std::string&) override { ++message_boxes_; }
  bool AskYesNo(const std::string&) override {
    ++message_boxes_;
    return false;
  }
  void Beep() override {}
  int StartTimer(int id, int) override { return id; }
  void StopTimer(int) override {}
  Rect GetControlRect(int) override { return Rect{0, 200, 400, 300}; }
  void FillRect(const Rect&, Rgb, Rgb) override {}
  void Invalidate() override {}
  std::optional<std::string> OpenFileDialog(const FileDialogRequest&) override {
    return file_answer_;
  }
  void ShowAboutBox() override {}
  void DefaultSystemCommand(int) override {}
  void EndDialog(int) override {}

 private:
  std::map<int, std::string> texts_;
  std::optional<std::string> file_answer_;
  int message_boxes_ = 0;
};

}  // namespace quillmont::bench
