// SPDX-License-Identifier: Apache-2.0
// Serves simulated fixtures on a pseudo-terminal: the bytes a host writes to the slave side are
// framed into RDM requests (a pseudo-terminal carries no break), every fixture takes each
// request at the time it came in, and each reply goes back to the host when its time has come:
// the fixture's turnaround, erase and program times, the reply break and the bytes' time on a
// 250000-baud line are all kept on the clock, with poll() sleeping until the next byte is due.
// Replies of several fixtures that meet on the line collide. The adapter is modelled as real ones
// behave (sim/adapter_model.h): the reply's break reaches the host as a NUL, and bytes in 62-byte
// packets or when the latency timer runs out. Faults from the fault list apply to the replies
// (lost, corrupted), the line (noise, stray bytes before discovery answers, echo of the host's
// own bytes), the adapter (latency timer, ideal adapter) and the fixtures (slow, reset in erase,
// a second fixture).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/clock.h"
#include "sim/adapter_model.h"
#include "sim/fault_plan.h"
#include "sim/pty/pseudo_terminal.h"
#include "sim/pty/reply_schedule.h"
#include "sim/pty/serve_loop.h"
#include "sim/request_stream.h"
#include "sim/simulated_fixture.h"

namespace quillmont::sim {

class FixtureServer {
 public:
  using EventFn = std::function<void(const std::string& line)>;

  // The fixtures in `configs`, plus a second one when the faults ask for it, behind an adapter
  // like `adapter` (as the faults change it). Fault times count from now.
  FixtureServer(PseudoTerminal& line, Clock& clock, const std::vector<FixtureConfig>& configs,
                const FaultPlan& faults, const AdapterModel& adapter = {});

  // Gets a line of text for each thing worth telling: hosts coming and going, fixtures changing
  // between application and bootloader.
  void set_event_sink(EventFn sink) { event_sink_ = std::move(sink); }

  using Round = ServeRound;
  // One round: waits at most max_wait_ms (-1: as long as it takes) for bytes from the host, a
  // host opening or closing the line, `stop_fd` (-1 for none) becoming readable, or the next
  // reply byte's time; then takes the requests that came, and hands the host what is due.
  Round Pump(int max_wait_ms, int stop_fd = -1);

  // Rounds until `stop_fd` becomes readable, the line fails, or (exit_after_start) the new
  // application has started.
  ServeEnd Serve(int stop_fd, const ServeOptions& options);

  size_t fixture_count() const { return fixtures_.size(); }
  SimulatedFixture& fixture(size_t index) { return *fixtures_.at(index); }
  // Requests framed, replies the fixtures made (lost ones included), bytes of noise or garbage
  // that were not part of a request.
  uint64_t requests() const { return requests_; }
  uint64_t replies() const { return replies_; }
  uint64_t garbage() const { return parser_.dropped(); }
  const ReplySchedule& schedule() const { return schedule_; }
  // When a fixture last started an application out of its bootloader.
  std::optional<uint64_t> application_started_micros() const { return started_micros_; }

 private:
  void TakeRequest(const uint8_t* frame, size_t size, uint64_t at_micros);
  void Settle(uint64_t now);
  bool HandOver(uint64_t now);
  int WaitMs(int max_wait_ms, uint64_t now) const;
  ServeState State(uint64_t now) const;
  void Tell(const std::string& line) const;

  PseudoTerminal& line_;
  Clock& clock_;
  std::vector<std::unique_ptr<SimulatedFixture>> fixtures_;
  std::vector<FixtureStage> stages_;
  FaultPlan faults_;
  AdapterModel model_;
  FaultRandom random_;
  FaultRandom stray_random_;
  RequestStreamParser parser_;
  ReplySchedule schedule_;
  EventFn event_sink_;
  bool host_full_ = false;  // the host's input was full at the last write
  uint64_t requests_ = 0;
  uint64_t replies_ = 0;
  uint64_t last_request_micros_ = 0;
  uint64_t last_reply_micros_ = 0;  // when the last byte of the last reply is through
  uint64_t line_free_micros_ = 0;   // when the host's last byte is through on the line
  std::optional<uint64_t> started_micros_;
};

}  // namespace quillmont::sim
