// SPDX-License-Identifier: Apache-2.0
// What the search for a real adapter tells (why each port did not open; with --verbose, which
// one opened and what opening it found): on standard error as it comes, and kept, so that a
// JSON document says it too.
#pragma once

#include <map>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

namespace quillmont::cli {

class PortNotices final : public std::streambuf {
 public:
  // Every whole line written to stream() goes on to `err`.
  explicit PortNotices(std::ostream& err);
  PortNotices(const PortNotices&) = delete;
  PortNotices& operator=(const PortNotices&) = delete;

  // Where the backends write. Adapters searched on several threads at once each write their own
  // lines: they never mix.
  std::ostream& stream() { return stream_; }

  // The lines told so far, in their order (at most kMaxLines).
  std::vector<std::string> Lines() const;

  static constexpr size_t kMaxLines = 64;

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;

 private:
  void Take(const char* s, size_t n);

  std::ostream& err_;
  mutable std::mutex lock_;
  std::map<std::thread::id, std::string> partial_;  // each thread's line so far
  std::vector<std::string> lines_;
  std::ostream stream_;
};

}  // namespace quillmont::cli
