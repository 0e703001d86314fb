#include "sim/pty/serve_loop.h"

#include <algorithm>

namespace quillmont::sim {
namespace {

// How often the end is checked once a new application has started.
constexpr int kEndCheckMs = 20;

}  // namespace

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
