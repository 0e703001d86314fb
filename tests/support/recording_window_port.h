// SPDX-License-Identifier: Apache-2.0
// A WindowPort for tests: it keeps every control's text by ID (starting from the window
// template's initial texts), a combo box model, and a record of message boxes, beeps, drawing,
// timers, the about box and how the window ended. Its message box can run ticks while it is
// "open", the way a real modal loop lets the timer fire, through on_message_box.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/window_port.h"

namespace quillmont::testing {

class RecordingWindowPort : public WindowPort {
 public:
  RecordingWindowPort();

  // Control texts.
  std::map<int, std::string> texts;
  std::string Text(int id) const;
  // How often the core wrote each control's text, and every write in order.
  std::map<int, int> text_writes;
  std::vector<std::pair<int, std::string>> text_history;
  // The texts written to one control, in order.
  std::vector<std::string> History(int id) const;
  // The operator types into a field: changes its text without a SetControlText.
  void Type(int id, const std::string& text) { texts[id] = text; }
  int log_scrolls = 0;

  // Combo boxes by ID: entries and the selection (-1 for none).
  struct Combo {
    std::vector<std::string> entries;
    int selected = -1;
  };
  std::map<int, Combo> combos;
  std::string SelectedText(int id) const;

  // Message boxes, in order; the hook runs while the box is "open".
  std::vector<std::string> message_boxes;
  std::function<void(const std::string& text)> on_message_box;
  // Every question asked, and the answers given in turn (No once they run out).
  std::vector<std::string> questions;
  std::vector<bool> answers;
  int beeps = 0;

  // Timers.
  struct TimerEvent {
    bool start;
    int id;
    int period_ms;
  };
  std::vector<TimerEvent> timer_events;
  bool timer_running = false;
  int timer_id_to_return = 1;

  // Drawing.
  std::map<int, Rect> control_rects;
  struct FillCall {
    Rect rect;
    Rgb pen;
    Rgb brush;
  };
  std::vector<FillCall> fills;
  int invalidates = 0;

  // File dialog: the answers, in order (nothing = cancelled); the requests seen.
  std::deque<std::optional<std::string>> file_dialog_answers;
  std::vector<FileDialogRequest> file_dialog_requests;

  int about_boxes = 0;
  std::function<void()> on_about_box;
  std::vector<int> default_system_commands;
  std::optional<int> end_result;

  void SetControlText(int id, const std::string& text) override;
  std::string GetControlText(int id) override;
  void ScrollLogToEnd() override { ++log_scrolls; }
  void ComboAddString(int id, const std::string& text) override;
  int ComboFindStringExact(int id, const std::string& text) override;
  void ComboSetCurSel(int id, int index) override;
  int ComboGetCurSel(int id) override { return combos[id].selected; }
  std::string ComboGetItemText(int id, int index) override;
  void ShowMessageBox(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  void Beep() override { ++beeps; }
  int StartTimer(int id, int period_ms) override;
  void StopTimer(int timer_id) override;
  Rect GetControlRect(int id) override;
  void FillRect(const Rect& rect, Rgb pen, Rgb brush) override;
  void Invalidate() override { ++invalidates; }
  std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
  void ShowAboutBox() override;
  void DefaultSystemCommand(int command) override { default_system_commands.push_back(command); }
  void EndDialog(int result) override { end_result = result; }
};

}  // namespace quillmont::testing
