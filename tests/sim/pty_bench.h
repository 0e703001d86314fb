// SPDX-License-Identifier: Apache-2.0
// A quillmont-sim server on a real pseudo-terminal, in-process, on a virtual clock: the test is
// the host on the slave side and moves time on itself, so every reply's timing is exact.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/clock.h"
#include "rdm/message.h"
#include "sim/fault_plan.h"
#include "sim/pty/fixture_server.h"
#include "sim/pty/pseudo_terminal.h"

namespace quillmont::testing {

inline constexpr RdmUid kPtyFixtureUid = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};

// A request frame as the tool builds it, to the default fixture unless told otherwise.
std::vector<uint8_t> RequestFrame(uint8_t command_class, uint16_t pid, std::vector<uint8_t> pd = {},
                                  const RdmUid& to = kPtyFixtureUid, uint8_t transaction = 1);

// A host's end of the line: the slave opened the way the serial backend opens it.
class PtyHost {
 public:
  explicit PtyHost(const std::string& path);
  ~PtyHost();
  PtyHost(const PtyHost&) = delete;
  PtyHost& operator=(const PtyHost&) = delete;

  int fd() const { return fd_; }
  void Send(const std::vector<uint8_t>& bytes);
  // Waits (poll, at most timeout_ms in all) until `count` bytes came or the time is up.
  std::vector<uint8_t> Receive(size_t count, int timeout_ms = 500);
  void Close();

 private:
  int fd_ = -1;
};

class PtyBench {
 public:
  // The line's own timing is seen through an ideal adapter, unless `real_adapter`.
  explicit PtyBench(std::vector<FixtureConfig> configs = {FixtureConfig{}},
                    const FaultPlan& faults = {}, bool real_adapter = false);

  // Rounds of the server until it has taken `count` requests in all (bytes written to the slave
  // reach the master a moment later); false when they did not come within a second.
  bool TakeRequests(uint64_t count);
  // Moves the virtual clock to `micros` after the start and lets the server hand over what is
  // due by then.
  void RunTo(uint64_t micros);

  VirtualClock clock{1000000};
  uint64_t start_micros = clock.NowMicros();
  std::unique_ptr<sim::PseudoTerminal> pty;
  std::unique_ptr<sim::FixtureServer> server;
  std::unique_ptr<PtyHost> host;
};

}  // namespace quillmont::testing
