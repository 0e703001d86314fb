// SPDX-License-Identifier: Apache-2.0
#include "sim/pty/serve_loop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace quillmont::sim {
namespace {

// How often the end is checked once a new application has started.
constexpr int kEndCheckMs = 20;

}  // namespace

ServeRound WaitForLine(PseudoTerminal& line, int stop_fd, bool want_write, int wait_ms) {
  pollfd fds[3] = {};
  fds[0].fd = line.master_fd();
  fds[0].events = static_cast<short>(POLLIN | (want_write ? POLLOUT : 0));
  fds[1].fd = line.watch_fd();
  fds[1].events = POLLIN;
  fds[2].fd = stop_fd;  // a negative descriptor is ignored by poll
  fds[2].events = POLLIN;
  const int ready = poll(fds, 3, wait_ms);
  if (ready < 0 && errno != EINTR) {
    return ServeRound::kLineFailed;
  }
  if (ready > 0 && (fds[2].revents & POLLIN) != 0) {
    return ServeRound::kStopRequested;
  }
  // The server's own slave descriptor keeps the master from hanging up; if it does all the
  // same, poll would return at once forever, so the line counts as failed.
  if (ready > 0 && (fds[0].revents & (POLLERR | POLLNVAL | POLLHUP)) != 0) {
    return ServeRound::kLineFailed;
  }
  return ServeRound::kServing;
}

bool TakeHostNotices(PseudoTerminal& line, const std::function<void(const std::string&)>& tell) {
  const uint64_t sessions_before = line.host_sessions();
  const uint64_t let_go_before = line.let_go_count();
  line.TakeNotices();
  for (uint64_t i = sessions_before; i < line.host_sessions(); ++i) {
    tell("a host opened the line");
  }
  if (line.let_go_count() == let_go_before) {
    return false;
  }
  tell("the host let go of the line");
  return true;
}

bool ShouldEndAfterStart(const ServeOptions& options, uint64_t now, const ServeState& state,
                         const PseudoTerminal& line) {
  if (!options.exit_after_start || !state.started_micros) {
    return false;
  }
  if (now - *state.started_micros >= uint64_t{options.start_limit_ms} * 1000) {
    return true;
  }
  if (state.reply_on_its_way) {
    return false;
  }
  if (line.hosts() == 0) {
    return true;  // nobody is there to read anything more
  }
  if (line.UnreadByHost() != 0) {
    return false;
  }
  const uint64_t quiet_since = std::max(*state.started_micros, state.last_request_micros);
  return now - quiet_since >= uint64_t{options.quiet_ms} * 1000;
}

ServeEnd ServeRounds(const ServeOptions& options, const std::function<bool()>& started,
                     const std::function<bool()>& should_end,
                     const std::function<ServeRound(int max_wait_ms)>& pump) {
  for (;;) {
    if (should_end()) {
      return ServeEnd::kApplicationStarted;
    }
    const int wait = options.exit_after_start && started() ? kEndCheckMs : -1;
    switch (pump(wait)) {
      case ServeRound::kServing:
        break;
      case ServeRound::kStopRequested:
        return ServeEnd::kStopped;
      case ServeRound::kLineFailed:
        return ServeEnd::kLineFailed;
    }
  }
}

}  // namespace quillmont::sim
