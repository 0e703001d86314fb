// SPDX-License-Identifier: Apache-2.0
#include "sim/pty/fixture_server.h"

#include <algorithm>

#include "rdm/fixture_text.h"
#include "rdm/uid.h"
#include "sim/simulated_line.h"

namespace quillmont::sim {
namespace {

// Noise is clocked like DMX.
constexpr uint32_t kNoiseBaud = 250000;
// The host sends at DMX's rate.
constexpr uint32_t kHostBaud = 250000;
// How much the host may send in one round before the replies get their turn.
constexpr size_t kMaxReadPerRound = 16384;
// While a fixture resets, rounds end at least this often so that its new stage is seen.
constexpr int kResetCheckMs = 10;
// After the start, how often the end conditions are looked at while nothing else happens.

bool InBootloader(FixtureStage stage) {
  return stage != FixtureStage::kApplication;
}

AdapterModel WithFaults(AdapterModel model, const FaultPlan& faults) {
  ApplyFaultsToModel(faults, model);
  return model;
}

}  // namespace

FixtureServer::FixtureServer(PseudoTerminal& line, Clock& clock,
                             const std::vector<FixtureConfig>& configs, const FaultPlan& faults,
                             const AdapterModel& adapter)
    : line_(line),
      clock_(clock),
      faults_(faults),
      model_(WithFaults(adapter, faults)),
      random_(faults.seed),
      stray_random_(faults.seed ^ 0x7374726179ull),
      schedule_(model_) {
  for (FixtureConfig config : configs) {
    config.slow = faults.slow;
    config.reset_in_erase = faults.reset_in_erase;
    fixtures_.push_back(std::make_unique<SimulatedFixture>(config));
  }
  if (faults.second_fixture) {
    FixtureConfig config = configs.empty() ? FixtureConfig{} : configs.back();
    config.uid[5] = static_cast<uint8_t>(config.uid[5] + 1);
    config.slow = faults.slow;
    config.reset_in_erase = faults.reset_in_erase;
    fixtures_.push_back(std::make_unique<SimulatedFixture>(config));
  }
  for (const auto& fixture : fixtures_) {
    stages_.push_back(fixture->stage());
  }
  // Noise has its own generator, so that it does not shift which replies the rates hit (the
  // same as on the simulated adapter).
  const uint64_t now = clock_.NowMicros();
  FaultRandom noise_random(faults.seed ^ 0x6E6F697365ull);
  const uint64_t byte_micros = LineMicros(1, kNoiseBaud);
  for (const NoiseBurst& burst : faults.noise) {
    for (uint32_t i = 0; i < burst.count; ++i) {
      const uint8_t byte = static_cast<uint8_t>(noise_random.Next());
      schedule_.Add(&byte, 1, now + burst.at_micros + i * byte_micros, byte_micros);
    }
  }
}

void FixtureServer::Tell(const std::string& text) const {
  if (event_sink_) {
    event_sink_(text);
  }
}

void FixtureServer::TakeRequest(const uint8_t* frame, size_t size, uint64_t at_micros) {
  ++requests_;
  last_request_micros_ = at_micros;
  uint64_t answer_start = UINT64_MAX;  // the first discovery answer's, for stray bytes
  for (auto& fixture : fixtures_) {
    auto reply = fixture->OnRequest(frame, size, at_micros);
    if (!reply || reply->bytes.empty()) {
      continue;
    }
    // Replies are counted on the line, every fixture's alike.
    const uint64_t number = ++replies_;
    const auto listed = [number](const std::vector<uint64_t>& list) {
      return std::find(list.begin(), list.end(), number) != list.end();
    };
    const bool drop = listed(faults_.drop_replies) ||
                      (faults_.drop_rate > 0 && random_.NextUnit() < faults_.drop_rate);
    const bool corrupt = listed(faults_.corrupt_replies) ||
                         (faults_.corrupt_rate > 0 && random_.NextUnit() < faults_.corrupt_rate);
    if (drop) {
      continue;
    }
    if (corrupt) {
      const uint32_t at = random_.Below(static_cast<uint32_t>(reply->bytes.size()));
      reply->bytes[at] ^= static_cast<uint8_t>(1 + random_.Below(255));
    }
    // An RDM response begins with a break and mark-after-break, which a pseudo-terminal cannot
    // carry; its time is kept, and the adapter reports the break as a NUL once it has lasted a
    // byte. A discovery answer has no break.
    const uint64_t line_start = at_micros + reply->delay_micros;
    const uint64_t start = line_start + (reply->with_break ? kSimReplyBreakMicros : 0);
    const uint64_t byte_micros = LineMicros(1, fixture->config().baud);
    // An adapter that still drives the line after the request hears nothing until it lets go.
    const uint64_t heard_from = at_micros + model_.driver_hold_micros;
    if (reply->with_break && model_.BreakReadsAsNul() &&
        std::max(line_start, heard_from) + byte_micros <= line_start + kSimReplyBreakMicros) {
      const uint8_t nul = 0x00;
      schedule_.Add(&nul, 1, std::max(line_start, heard_from), byte_micros);
    }
    if (!reply->with_break) {
      answer_start = std::min(answer_start, line_start);
    }
    const size_t lost = start >= heard_from
                            ? 0
                            : std::min<size_t>((heard_from - start + byte_micros - 1) / byte_micros,
                                               reply->bytes.size());
    schedule_.Add(reply->bytes.data() + lost, reply->bytes.size() - lost,
                  start + lost * byte_micros, byte_micros);
    last_reply_micros_ = std::max(last_reply_micros_, start + reply->bytes.size() * byte_micros);
  }
  if (answer_start != UINT64_MAX && faults_.stray_bytes > 0) {
    // The line turning around: stray bytes in the byte times just before the preamble.
    const uint64_t byte_micros = LineMicros(1, kNoiseBaud);
    const uint64_t lead = faults_.stray_bytes * byte_micros;
    for (uint32_t i = 0; i < faults_.stray_bytes; ++i) {
      const uint8_t byte = static_cast<uint8_t>(stray_random_.Next());
      schedule_.Add(&byte, 1, answer_start - std::min(answer_start, lead) + i * byte_micros,
                    byte_micros);
    }
  }
}

void FixtureServer::Settle(uint64_t now) {
  for (size_t i = 0; i < fixtures_.size(); ++i) {
    SimulatedFixture& fixture = *fixtures_[i];
    fixture.AdvanceTo(now);
    const FixtureStage was = stages_[i];
    stages_[i] = fixture.stage();
    if (InBootloader(was) == InBootloader(stages_[i])) {
      continue;
    }
    const std::string uid = FormatUid(fixture.config().uid);
    if (InBootloader(stages_[i])) {
      Tell(uid + " is in its bootloader");
    } else {
      Tell(uid + " started its application \"" +
           TerminalText(fixture.ApplicationLabel(), TerminalTakesUtf8()) + "\"");
      started_micros_ = now;
    }
  }
}

bool FixtureServer::HandOver(uint64_t now) {
  const std::vector<uint8_t> due = schedule_.Due(now);
  if (due.empty()) {
    host_full_ = false;
    return true;
  }
  if (line_.hosts() == 0) {
    // Nobody listens: what goes out on the line is lost.
    schedule_.Consume(due.size());
    host_full_ = false;
    return true;
  }
  const Result<size_t> written = line_.Write(due.data(), due.size());
  if (!written) {
    return false;
  }
  schedule_.Consume(*written);
  host_full_ = *written < due.size();
  return true;
}

int FixtureServer::WaitMs(int max_wait_ms, uint64_t now) const {
  int wait = max_wait_ms;
  const auto limit = [&wait](int ms) { wait = wait < 0 ? ms : std::min(wait, ms); };
  if (const auto due = schedule_.NextDueMicros(); due && !host_full_) {
    // Rounded up, so that a round never wakes before the byte is due and spins.
    limit(*due <= now ? 0 : static_cast<int>(std::min<uint64_t>((*due - now + 999) / 1000, 60000)));
  }
  if (std::any_of(fixtures_.begin(), fixtures_.end(),
                  [](const auto& f) { return f->resetting(); })) {
    limit(kResetCheckMs);
  }
  return wait;
}

FixtureServer::Round FixtureServer::Pump(int max_wait_ms, int stop_fd) {
  if (const Round round =
          WaitForLine(line_, stop_fd, host_full_, WaitMs(max_wait_ms, clock_.NowMicros()));
      round != Round::kServing) {
    return round;
  }
  if (TakeHostNotices(line_, [this](const std::string& text) { Tell(text); })) {
    // A frame the host left half-written does not join the next host's first one.
    parser_ = RequestStreamParser{};
    host_full_ = false;
  }

  uint8_t buffer[512];
  for (size_t taken = 0; taken < kMaxReadPerRound;) {
    const Result<size_t> n = line_.Read(buffer, sizeof buffer);
    if (!n) {
      return Round::kLineFailed;
    }
    if (*n == 0) {
      break;
    }
    taken += *n;
    // What the host wrote goes out on the line byte after byte, after what it wrote before; a
    // fixture hears a request when its last byte is through, and answers only then.
    const uint64_t byte_micros = LineMicros(1, kHostBaud);
    const uint64_t start = std::max(clock_.NowMicros(), line_free_micros_);
    line_free_micros_ = start + *n * byte_micros;
    if (model_.hears_itself) {
      // An adapter that hears itself hands its own bytes back as they go out.
      schedule_.Add(buffer, *n, start, byte_micros);
    }
    parser_.Feed(buffer, *n, [&](const uint8_t* frame, size_t size) {
      TakeRequest(frame, size, line_free_micros_);
    });
  }

  const uint64_t now = clock_.NowMicros();
  Settle(now);
  return HandOver(now) ? Round::kServing : Round::kLineFailed;
}

ServeState FixtureServer::State(uint64_t now) const {
  // A reply still on its way, or waiting in the adapter for its packet.
  return ServeState{started_micros_, last_request_micros_,
                    now < last_reply_micros_ || host_full_ || !schedule_.empty()};
}

ServeEnd FixtureServer::Serve(int stop_fd, const ServeOptions& options) {
  return ServeRounds(
      options, [this] { return started_micros_.has_value(); },
      [&] {
        const uint64_t now = clock_.NowMicros();
        return ShouldEndAfterStart(options, now, State(now), line_);
      },
      [&](int wait) { return Pump(wait, stop_fd); });
}

}  // namespace quillmont::sim
