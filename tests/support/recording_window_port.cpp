// SPDX-License-Identifier: Apache-2.0
#include "support/recording_window_port.h"

#include "app/control_ids.h"

namespace quillmont::testing {

RecordingWindowPort::RecordingWindowPort() {
  // The window template's initial texts.
  texts[kExitButton] = "Exit";
  texts[kCancelButton] = "Cancel";
  texts[kUpdateButton] = "Update Firmware";
  texts[kDiscoverButton] = "Discover Node";
  texts[kSubDeviceLabel] = "0";
  texts[kStatusLine] = "Not Connected";
  texts[kIdentifyButton] = "Identify";
  texts[kStopIdentifyButton] = "Stop Identify";
  texts[kRefreshButton] = "Refresh";
  texts[kSetAddressButton] = "Set";
  // LogPane at 5, 180, 335 x 96 dialog units, in pixels at 1.5 pixels a unit.
  control_rects[kLogPane] = Rect{8, 270, 510, 414};
}

std::string RecordingWindowPort::Text(int id) const {
  const auto it = texts.find(id);
  return it == texts.end() ? std::string() : it->second;
}

std::string RecordingWindowPort::SelectedText(int id) const {
  const auto it = combos.find(id);
  if (it == combos.end() || it->second.selected < 0) {
    return {};
  }
  return it->second.entries.at(static_cast<size_t>(it->second.selected));
}

void RecordingWindowPort::SetControlText(int id, const std::string& text) {
  texts[id] = text;
  ++text_writes[id];
  text_history.emplace_back(id, text);
}

std::vector<std::string> RecordingWindowPort::History(int id) const {
  std::vector<std::string> written;
  for (const auto& [control, text] : text_history) {
    if (control == id) {
      written.push_back(text);
    }
  }
  return written;
}

std::string RecordingWindowPort::GetControlText(int id) {
  return Text(id);
}

void RecordingWindowPort::ComboAddString(int id, const std::string& text) {
  combos[id].entries.push_back(text);
}

int RecordingWindowPort::ComboFindStringExact(int id, const std::string& text) {
  const auto& entries = combos[id].entries;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i] == text) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

void RecordingWindowPort::ComboSetCurSel(int id, int index) {
  Combo& combo = combos[id];
  combo.selected = index >= 0 && index < static_cast<int>(combo.entries.size()) ? index : -1;
}

std::string RecordingWindowPort::ComboGetItemText(int id, int index) {
  const auto& entries = combos[id].entries;
  if (index < 0 || index >= static_cast<int>(entries.size())) {
    return {};
  }
  return entries[static_cast<size_t>(index)];
}

void RecordingWindowPort::ShowMessageBox(const std::string& text) {
  message_boxes.push_back(text);
  if (on_message_box) {
    on_message_box(text);
  }
}

bool RecordingWindowPort::AskYesNo(const std::string& text) {
  const size_t asked = questions.size();
  questions.push_back(text);
  if (on_message_box) {
    on_message_box(text);  // the modal loop lets the ticks run, as for a message box
  }
  return asked < answers.size() && answers[asked];
}

int RecordingWindowPort::StartTimer(int id, int period_ms) {
  timer_events.push_back({true, id, period_ms});
  timer_running = true;
  return timer_id_to_return;
}

void RecordingWindowPort::StopTimer(int timer_id) {
  timer_events.push_back({false, timer_id, 0});
  timer_running = false;
}

Rect RecordingWindowPort::GetControlRect(int id) {
  const auto it = control_rects.find(id);
  return it == control_rects.end() ? Rect{} : it->second;
}

void RecordingWindowPort::FillRect(const Rect& rect, Rgb pen, Rgb brush) {
  fills.push_back({rect, pen, brush});
}

std::optional<std::string> RecordingWindowPort::OpenFileDialog(const FileDialogRequest& request) {
  file_dialog_requests.push_back(request);
  if (file_dialog_answers.empty()) {
    return std::nullopt;
  }
  std::optional<std::string> answer = file_dialog_answers.front();
  file_dialog_answers.pop_front();
  return answer;
}

void RecordingWindowPort::ShowAboutBox() {
  ++about_boxes;
  if (on_about_box) {
    on_about_box();
  }
}

}  // namespace quillmont::testing
