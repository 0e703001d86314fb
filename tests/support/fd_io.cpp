// SPDX-License-Identifier: Apache-2.0
#include "support/fd_io.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace quillmont::testing {

void WriteAllTo(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    ASSERT_GT(n, 0) << "write to the terminal failed: errno " << errno;
    done += static_cast<size_t>(n);
  }
}

std::vector<uint8_t> ReadFrom(int fd, size_t count, int timeout_ms) {
  using Steady = std::chrono::steady_clock;
  const auto deadline = Steady::now() + std::chrono::milliseconds(timeout_ms);
  std::vector<uint8_t> got;
  uint8_t chunk[512];
  while (got.size() < count) {
    const ssize_t n = read(fd, chunk, std::min(sizeof chunk, count - got.size()));
    if (n > 0) {
      got.insert(got.end(), chunk, chunk + n);
      continue;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
    if (left <= 0) {
      break;
    }
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, static_cast<int>(left));
  }
  return got;
}

}  // namespace quillmont::testing
