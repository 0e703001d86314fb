// SPDX-License-Identifier: Apache-2.0
#include "station/headless_port.h"

#include <algorithm>

#include "app/control_ids.h"

namespace quillmont {

std::string HeadlessPort::Text(int id) const {
  const auto it = texts_.find(id);
  return it == texts_.end() ? std::string() : it->second;
}

void HeadlessPort::SetControlText(int id, const std::string& text) {
  if (id == kLogPane) {
    SplitNewLogLines(text);
  } else if (id == kStatusLine && text != Text(id)) {
    if (on_status) {
      on_status(text);
    }
  }
  texts_[id] = text;
}

void HeadlessPort::SplitNewLogLines(const std::string& log) {
  if (log.size() < log_consumed_) {
    log_consumed_ = 0;  // the log was replaced, not extended
  }
  // The log's lines end in CR LF; a line is complete once its LF is in.
  size_t start = log_consumed_;
  for (size_t lf = log.find('\n', start); lf != std::string::npos; lf = log.find('\n', start)) {
    size_t end = lf;
    if (end > start && log[end - 1] == '\r') {
      --end;
    }
    std::string line = log.substr(start, end - start);
    if (on_log_line) {
      on_log_line(line);
    }
    log_lines_.push_back(std::move(line));
    start = lf + 1;
  }
  log_consumed_ = start;
}

void HeadlessPort::ComboAddString(int id, const std::string& text) {
  combo_items_[id].push_back(text);
}

int HeadlessPort::ComboFindStringExact(int id, const std::string& text) {
  const std::vector<std::string>& items = combo_items_[id];
  const auto it = std::find(items.begin(), items.end(), text);
  return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

void HeadlessPort::ComboSetCurSel(int id, int index) {
  const int count = static_cast<int>(combo_items_[id].size());
  combo_selection_[id] = (index >= 0 && index < count) ? index : -1;
}

int HeadlessPort::ComboGetCurSel(int id) {
  const auto it = combo_selection_.find(id);
  return it == combo_selection_.end() ? -1 : it->second;
}

std::string HeadlessPort::ComboGetItemText(int id, int index) {
  const std::vector<std::string>& items = combo_items_[id];
  if (index < 0 || index >= static_cast<int>(items.size())) {
    return std::string();
  }
  return items[static_cast<size_t>(index)];
}

void HeadlessPort::ShowMessageBox(const std::string& text) {
  message_boxes_.push_back(text);
  if (on_message_box) {
    on_message_box(text);
  }
}

bool HeadlessPort::AskYesNo(const std::string& text) {
  if (answer_yes_no) {
    return answer_yes_no(text);
  }
  ShowMessageBox(text);
  return false;
}

Rect HeadlessPort::GetControlRect(int id) {
  if (id == kLogPane) {
    return Rect{0, 30, kBarWidth, 130};
  }
  return Rect{};
}

void HeadlessPort::FillRect(const Rect& rect, Rgb /*pen*/, Rgb /*brush*/) {
  if (on_progress) {
    on_progress(std::clamp(static_cast<double>(rect.right - rect.left) / kBarWidth, 0.0, 1.0));
  }
}

std::optional<std::string> HeadlessPort::OpenFileDialog(const FileDialogRequest& /*request*/) {
  std::optional<std::string> answer = std::move(file_answer_);
  file_answer_.reset();
  return answer;
}

void HeadlessPort::ShowAboutBox() {}

}  // namespace quillmont
