// SPDX-License-Identifier: Apache-2.0
#include "pty_bench.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "support/fd_io.h"

namespace quillmont::testing {

std::vector<uint8_t> RequestFrame(uint8_t command_class, uint16_t pid, std::vector<uint8_t> pd,
                                  const RdmUid& to, uint8_t transaction) {
  RdmFrameFields fields;
  fields.destination = to;
  fields.source = kControllerUid;
  fields.transaction = transaction;
  fields.port_or_response_type = 1;
  fields.command_class = command_class;
  fields.pid = pid;
  fields.data = pd.data();
  fields.pdl = static_cast<uint8_t>(pd.size());
  std::vector<uint8_t> frame(kRdmFrameBufferSize);
  frame.resize(BuildRdmFrame(fields, frame.data()));
  return frame;
}

PtyHost::PtyHost(const std::string& path) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    ADD_FAILURE() << "cannot open " << path << ": errno " << errno;
  }
}

PtyHost::~PtyHost() {
  Close();
}

void PtyHost::Close() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
}

void PtyHost::Send(const std::vector<uint8_t>& bytes) {
  WriteAllTo(fd_, bytes);
}

std::vector<uint8_t> PtyHost::Receive(size_t count, int timeout_ms) {
  return ReadFrom(fd_, count, timeout_ms);
}

PtyBench::PtyBench(std::vector<FixtureConfig> configs, const FaultPlan& faults, bool real_adapter) {
  auto opened = sim::PseudoTerminal::Open();
  if (!opened) {
    ADD_FAILURE() << opened.error().message;
    return;
  }
  pty = std::move(*opened);
  FaultPlan plan = faults;
  plan.ideal_adapter = plan.ideal_adapter || !real_adapter;
  server = std::make_unique<sim::FixtureServer>(*pty, clock, configs, plan);
  host = std::make_unique<PtyHost>(pty->path());
}

bool PtyBench::TakeRequests(uint64_t count) {
  for (int round = 0; round < 200 && server->requests() < count; ++round) {
    server->Pump(5);
  }
  return server->requests() >= count;
}

void PtyBench::RunTo(uint64_t micros) {
  const uint64_t target = start_micros + micros;
  if (target > clock.NowMicros()) {
    clock.AdvanceMicros(target - clock.NowMicros());
  }
  server->Pump(0);
}

}  // namespace quillmont::testing
