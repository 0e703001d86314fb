// SPDX-License-Identifier: Apache-2.0
// Serves simulated fixtures behind a simulated DMX USB Pro-style widget (sim/usbpro_widget.h) on
// a pseudo-terminal: the host speaks the widget's messages on the slave side, as it would to a
// widget's USB serial port, and the widget answers each when its time on the clock has come.
// The fixtures' own faults apply (slow, reset in erase, a second fixture); the line's do not.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/clock.h"
#include "sim/fault_plan.h"
#include "sim/pty/fixture_server.h"
#include "sim/pty/pseudo_terminal.h"
#include "sim/simulated_fixture.h"
#include "sim/usbpro_widget.h"

namespace quillmont::sim {

class WidgetServer {
 public:
  using EventFn = FixtureServer::EventFn;

  // Behind a widget with `habits` (a clone's: older firmware's label 12 habits and a host-side
  // rate of its own, which the host must set on its side of the terminal).
  WidgetServer(PseudoTerminal& line, Clock& clock, const std::vector<FixtureConfig>& configs,
               const FaultPlan& faults, WidgetHabits habits = {});

  void set_event_sink(EventFn sink) { event_sink_ = std::move(sink); }

  // Rounds until `stop_fd` becomes readable, the line fails, or (exit_after_start) the new
  // application has started and the host is done, as FixtureServer::Serve.
  ServeEnd Serve(int stop_fd, const ServeOptions& options);

  size_t fixture_count() const { return fixtures_.size(); }
  SimulatedFixture& fixture(size_t index) { return *fixtures_.at(index); }
  const UsbProWidget& widget() const { return *widget_; }

 private:
  ServeRound Pump(int max_wait_ms, int stop_fd);
  void Settle(uint64_t now);
  bool HandOver();
  bool HostRateMatches() const;
  ServeState State() const;
  void Tell(const std::string& text) const;

  PseudoTerminal& line_;
  Clock& clock_;
  std::vector<std::unique_ptr<SimulatedFixture>> fixtures_;
  std::vector<FixtureStage> stages_;
  std::unique_ptr<UsbProWidget> widget_;
  std::vector<uint8_t> to_host_;  // due, not yet taken by the host
  EventFn event_sink_;
  uint64_t last_request_micros_ = 0;
  std::optional<uint64_t> started_micros_;
};

}  // namespace quillmont::sim
