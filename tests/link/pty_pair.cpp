// SPDX-License-Identifier: Apache-2.0
#include "pty_pair.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "support/fd_io.h"

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
  WriteAllTo(master_, bytes);
}

std::vector<uint8_t> PtyPair::Receive(size_t count, int timeout_ms) {
  return ReadFrom(master_, count, timeout_ms);
}

}  // namespace quillmont::testing
