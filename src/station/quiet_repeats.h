// SPDX-License-Identifier: Apache-2.0
// The line layer's diagnostic lines of a run: each core writes its own, and the adapter search
// repeats the same few lines on every attempt.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace quillmont {

// The line layer's diagnostic lines, passed on without the repeats of an adapter search: a
// line equal to one of the last few received is dropped. Lines are passed on whole, at their
// line feed (or when very long).
class QuietRepeatsBuf final : public std::streambuf {
 public:
  explicit QuietRepeatsBuf(std::ostream& target) : target_(target) {}
  ~QuietRepeatsBuf() override;
  QuietRepeatsBuf(const QuietRepeatsBuf&) = delete;
  QuietRepeatsBuf& operator=(const QuietRepeatsBuf&) = delete;

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  void EndLine();

  std::ostream& target_;
  std::string line_;
  std::vector<std::string> recent_;
};

class QuietRepeatsStream final : public std::ostream {
 public:
  explicit QuietRepeatsStream(std::ostream& target) : std::ostream(&buf_), buf_(target) {}

 private:
  QuietRepeatsBuf buf_;
};

}  // namespace quillmont
