#include "pty_pair.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace quillmont::testing {

PtyPair::PtyPair() {
  int slave = -1;
  char name[128] = {};
  if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
    ADD_FAILURE() << "openpty failed: errno " << errno;
    return;
  }
  slave_path_ = name;
  close(slave);  // the driver opens the slave itself
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
  CloseMaster();
}

void PtyPair::CloseMaster() {
  if (master_ >= 0) {
    close(master_);
    master_ = -1;
  }
}

void PtyPair::Send(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    ASSERT_GT(n, 0) << "write to the pty master failed: errno " << errno;
    done += static_cast<size_t>(n);
  }
}

std::vector<uint8_t> PtyPair::Receive(size_t count, int timeout_ms) {
  using Steady = std::chrono::steady_clock;
  const auto deadline = Steady::now() + std::chrono::milliseconds(timeout_ms);
  std::vector<uint8_t> got;
  uint8_t chunk[512];
  while (got.size() < count) {
    const ssize_t n = read(master_, chunk, std::min(sizeof chunk, count - got.size()));
    if (n > 0) {
      got.insert(got.end(), chunk, chunk + n);
      continue;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
    if (left <= 0) {
      break;
    }
    pollfd p{master_, POLLIN, 0};
    poll(&p, 1, static_cast<int>(left));
  }
  return got;
}

}  // namespace quillmont::testing
