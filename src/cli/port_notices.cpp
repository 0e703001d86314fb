// SPDX-License-Identifier: Apache-2.0
#include "cli/port_notices.h"

namespace quillmont::cli {
namespace {

// A line longer than this is a backend gone wrong: it is cut.
constexpr size_t kMaxLine = 1024;

}  // namespace

PortNotices::PortNotices(std::ostream& err) : err_(err), stream_(this) {}

std::vector<std::string> PortNotices::Lines() const {
  const std::lock_guard<std::mutex> hold(lock_);
  return lines_;
}

PortNotices::int_type PortNotices::overflow(int_type c) {
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    const char byte = traits_type::to_char_type(c);
    Take(&byte, 1);
  }
  return traits_type::not_eof(c);
}

std::streamsize PortNotices::xsputn(const char* s, std::streamsize n) {
  Take(s, static_cast<size_t>(n));
  return n;
}

void PortNotices::Take(const char* s, size_t n) {
  const std::lock_guard<std::mutex> hold(lock_);
  std::string& line = partial_[std::this_thread::get_id()];
  for (size_t i = 0; i < n; ++i) {
    if (s[i] != '\n') {
      if (line.size() < kMaxLine) {
        line += s[i];
      }
      continue;
    }
    err_ << line << '\n' << std::flush;
    if (lines_.size() < kMaxLines) {
      lines_.push_back(line);
    }
    line.clear();
  }
}

}  // namespace quillmont::cli
