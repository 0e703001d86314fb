// SPDX-License-Identifier: Apache-2.0
// The history's append on POSIX systems: open with O_APPEND, flock, one write, close.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "station/history.h"

namespace quillmont {
namespace {

std::string Reason(int error) {
  return std::strerror(error);
}

// Closes the descriptor on every way out; the lock goes with it.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) {
      ::close(fd);
    }
  }
};

}  // namespace

Status AppendLineLocked(const std::filesystem::path& file, const std::string& line) {
  std::error_code made;
  std::filesystem::create_directories(file.parent_path(), made);
  if (made) {
    return Error{made.message()};
  }
  Descriptor d;
  d.fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (d.fd < 0) {
    return Error{Reason(errno)};
  }
  // Other programs append to the same file: their lines and ours never mix.
  while (::flock(d.fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      return Error{Reason(errno)};
    }
  }
  size_t written = 0;
  while (written < line.size()) {
    // One write takes the whole line; a short write (a full disk) is finished under the lock.
    const ssize_t n = ::write(d.fd, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return Error{Reason(errno)};
    }
    written += static_cast<size_t>(n);
  }
  return {};
}

}  // namespace quillmont
