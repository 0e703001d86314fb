// SPDX-License-Identifier: Apache-2.0
#include "station/support_log.h"

#include <cerrno>
#include <system_error>

#include "station/user_folders.h"

namespace quillmont {
namespace {

std::string Reason(int error) {
  return error != 0 ? std::generic_category().message(error) : "cannot be written";
}

}  // namespace

Result<std::unique_ptr<SupportLog>> SupportLog::Open(const std::filesystem::path& path) {
  errno = 0;
  std::ofstream file(path, std::ios::binary | std::ios::app);
  if (!file) {
    return Error{"Cannot open the log file " + PathText(path) + ": " + Reason(errno) + "."};
  }
  return std::unique_ptr<SupportLog>(new SupportLog(path, std::move(file)));
}

Status SupportLog::Append(std::string_view text) {
  std::string lines;
  lines.reserve(text.size() + 1);
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '\r') {
      lines += text[at];
    } else if (at + 1 >= text.size() || text[at + 1] != '\n') {
      lines += '\n';  // a lone CR ends a line too; CR LF becomes the LF that follows
    }
  }
  lines += '\n';
  errno = 0;
  file_.write(lines.data(), static_cast<std::streamsize>(lines.size()));
  file_.flush();
  if (!file_) {
    const int error = errno;
    file_.clear();
    return Error{"Cannot write the log file " + PathText(path_) + ": " + Reason(error) + "."};
  }
  return {};
}

}  // namespace quillmont
