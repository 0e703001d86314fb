// SPDX-License-Identifier: Apache-2.0
// The support log of `quillmont --log FILE`: every line the window writes to its log pane is
// appended to a file as it is written, so that what the operator saw outlives the window and can
// be sent to whoever helps them. Lines end in a line feed; the file is flushed after each.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "base/result.h"

namespace quillmont {

class SupportLog {
 public:
  // Opens `path` for appending, creating it; an error names the file and says why.
  static Result<std::unique_ptr<SupportLog>> Open(const std::filesystem::path& path);

  // Appends the text of one log entry and ends it: its CR LF (and lone CR) become line feeds.
  Status Append(std::string_view text);

  const std::filesystem::path& path() const { return path_; }

 private:
  SupportLog(std::filesystem::path path, std::ofstream file)
      : path_(std::move(path)), file_(std::move(file)) {}

  std::filesystem::path path_;
  std::ofstream file_;
};

}  // namespace quillmont
