// SPDX-License-Identifier: Apache-2.0
#include "station/quiet_repeats.h"

#include <algorithm>

namespace quillmont {
namespace {

// Lines QuietRepeatsBuf compares with: enough for a search that cycles over several adapters.
constexpr size_t kRecentLines = 8;
constexpr size_t kLongestLine = 1024;

bool Contains(const std::vector<std::string>& list, const std::string& text) {
  return std::find(list.begin(), list.end(), text) != list.end();
}

}  // namespace

QuietRepeatsBuf::~QuietRepeatsBuf() {
  if (!line_.empty()) {
    target_ << line_ << std::flush;  // the last words, unfinished
  }
}

QuietRepeatsBuf::int_type QuietRepeatsBuf::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) {
    return traits_type::not_eof(c);
  }
  line_.push_back(traits_type::to_char_type(c));
  if (line_.back() == '\n' || line_.size() >= kLongestLine) {
    EndLine();
  }
  return c;
}

int QuietRepeatsBuf::sync() {
  // A line is passed on whole: an unfinished one waits for its line feed.
  target_.flush();
  return 0;
}

void QuietRepeatsBuf::EndLine() {
  if (!Contains(recent_, line_)) {
    target_ << line_ << std::flush;
  }
  recent_.push_back(std::move(line_));
  if (recent_.size() > kRecentLines) {
    recent_.erase(recent_.begin());
  }
  line_.clear();
}

}  // namespace quillmont
