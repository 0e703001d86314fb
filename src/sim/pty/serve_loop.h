// SPDX-License-Identifier: Apache-2.0
// What both of quillmont-sim's servers (fixtures on the line, or behind a widget) share: how
// long they serve, and when they end after a fixture has started its new application.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "sim/pty/pseudo_terminal.h"

namespace quillmont::sim {

struct ServeOptions {
  // End once a fixture has started an application from its bootloader and every reply has gone
  // out, and then either no host has the line open any more, or the host has read everything
  // and sent nothing for quiet_ms; at the latest start_limit_ms after the start.
  bool exit_after_start = false;
  uint32_t quiet_ms = 300;
  uint32_t start_limit_ms = 3000;
};

enum class ServeEnd { kStopped, kApplicationStarted, kLineFailed };

// How one round of serving ended.
enum class ServeRound { kServing, kStopRequested, kLineFailed };

// Where a server stands when it asks whether to end.
struct ServeState {
  std::optional<uint64_t> started_micros;  // when a fixture last started an application
  uint64_t last_request_micros = 0;
  bool reply_on_its_way = false;  // due later, or waiting in the adapter or widget
};

// The first half of a round: waits at most `wait_ms` (-1: as long as it takes) for the host's
// bytes (with `want_write`, also for room to write to it), a host opening or letting go of the
// line, or `stop_fd` (-1 for none) becoming readable. kServing when the round goes on.
ServeRound WaitForLine(PseudoTerminal& line, int stop_fd, bool want_write, int wait_ms);

// Takes the line's notices and tells each host that opened it, and a host that let go. True
// when one let go: what it left half-said must not join the next host's first words.
bool TakeHostNotices(PseudoTerminal& line, const std::function<void(const std::string&)>& tell);

// Whether the server should end now (see ServeOptions).
bool ShouldEndAfterStart(const ServeOptions& options, uint64_t now, const ServeState& state,
                         const PseudoTerminal& line);

// Rounds of `pump` (given the longest wait in ms, -1 for as long as it takes) until a round
// is stopped or fails, or `should_end` says the new application has started and the host is
// done; while a start is to be watched for its end, no round waits longer than 20 ms.
ServeEnd ServeRounds(const ServeOptions& options, const std::function<bool()>& started,
                     const std::function<bool()>& should_end,
                     const std::function<ServeRound(int max_wait_ms)>& pump);

}  // namespace quillmont::sim
