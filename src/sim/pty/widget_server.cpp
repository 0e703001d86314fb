// SPDX-License-Identifier: Apache-2.0
#include "sim/pty/widget_server.h"

#include <algorithm>

#include "rdm/fixture_text.h"
#include "rdm/uid.h"

namespace quillmont::sim {
namespace {

constexpr size_t kMaxReadPerRound = 16384;
// What waits for a host that does not read; beyond it, the oldest answers are lost.
constexpr size_t kMaxToHost = 65536;
constexpr int kResetCheckMs = 10;

bool InBootloader(FixtureStage stage) {
  return stage != FixtureStage::kApplication;
}

}  // namespace

WidgetServer::WidgetServer(PseudoTerminal& line, Clock& clock,
                           const std::vector<FixtureConfig>& configs, const FaultPlan& faults,
                           WidgetHabits habits)
    : line_(line), clock_(clock) {
  std::vector<FixtureConfig> all = configs;
  if (faults.second_fixture) {
    FixtureConfig config = configs.empty() ? FixtureConfig{} : configs.back();
    config.uid[5] = static_cast<uint8_t>(config.uid[5] + 1);
    all.push_back(config);
  }
  std::vector<SimulatedFixture*> on_line;
  for (FixtureConfig config : all) {
    config.slow = faults.slow;
    config.reset_in_erase = faults.reset_in_erase;
    fixtures_.push_back(std::make_unique<SimulatedFixture>(config));
    on_line.push_back(fixtures_.back().get());
    stages_.push_back(fixtures_.back()->stage());
  }
  habits.console_dmx = habits.console_dmx || faults.console_dmx;
  widget_ = std::make_unique<UsbProWidget>(clock_, std::move(on_line), WidgetIdentity{}, habits);
}

void WidgetServer::Tell(const std::string& text) const {
  if (event_sink_) {
    event_sink_(text);
  }
}

void WidgetServer::Settle(uint64_t now) {
  for (size_t i = 0; i < fixtures_.size(); ++i) {
    fixtures_[i]->AdvanceTo(now);
    const FixtureStage was = stages_[i];
    stages_[i] = fixtures_[i]->stage();
    if (InBootloader(was) == InBootloader(stages_[i])) {
      continue;
    }
    const std::string uid = FormatUid(fixtures_[i]->config().uid);
    if (InBootloader(stages_[i])) {
      Tell(uid + " is in its bootloader");
    } else {
      Tell(uid + " started its application \"" +
           TerminalText(fixtures_[i]->ApplicationLabel(), TerminalTakesUtf8()) + "\"");
      started_micros_ = now;
    }
  }
}

bool WidgetServer::HostRateMatches() const {
  const uint32_t needed = widget_->habits().host_baud;
  return needed == 0 || line_.HostBaud() == needed;
}

bool WidgetServer::HandOver() {
  const std::vector<uint8_t> due = widget_->TakeDue();
  if (HostRateMatches()) {
    to_host_.insert(to_host_.end(), due.begin(), due.end());
  }
  if (to_host_.size() > kMaxToHost) {
    to_host_.erase(to_host_.begin(),
                   to_host_.begin() + static_cast<long>(to_host_.size() - kMaxToHost));
  }
  if (to_host_.empty()) {
    return true;
  }
  if (line_.hosts() == 0) {
    to_host_.clear();  // nobody listens
    return true;
  }
  const Result<size_t> written = line_.Write(to_host_.data(), to_host_.size());
  if (!written) {
    return false;
  }
  to_host_.erase(to_host_.begin(), to_host_.begin() + static_cast<std::ptrdiff_t>(*written));
  return true;
}

ServeRound WidgetServer::Pump(int max_wait_ms, int stop_fd) {
  const uint64_t before = clock_.NowMicros();
  int wait = max_wait_ms;
  const auto limit = [&wait](int ms) { wait = wait < 0 ? ms : std::min(wait, ms); };
  if (const auto due = widget_->NextDueMicros()) {
    limit(*due <= before
              ? 0
              : static_cast<int>(std::min<uint64_t>((*due - before + 999) / 1000, 60000)));
  }
  if (std::any_of(fixtures_.begin(), fixtures_.end(),
                  [](const auto& f) { return f->resetting(); })) {
    limit(kResetCheckMs);
  }
  if (const ServeRound round = WaitForLine(line_, stop_fd, !to_host_.empty(), wait);
      round != ServeRound::kServing) {
    return round;
  }
  if (TakeHostNotices(line_, [this](const std::string& text) { Tell(text); })) {
    widget_->Reset();
    to_host_.clear();
  }
  uint8_t buffer[512];
  for (size_t taken = 0; taken < kMaxReadPerRound;) {
    const Result<size_t> n = line_.Read(buffer, sizeof buffer);
    if (!n) {
      return ServeRound::kLineFailed;
    }
    if (*n == 0) {
      break;
    }
    taken += *n;
    if (!HostRateMatches()) {
      continue;  // at the wrong rate the widget makes nothing of what the host sends
    }
    const uint64_t requests = widget_->requests();
    widget_->FromHost(buffer, *n);
    if (widget_->requests() != requests) {
      last_request_micros_ = clock_.NowMicros();
    }
  }
  Settle(clock_.NowMicros());
  return HandOver() ? ServeRound::kServing : ServeRound::kLineFailed;
}

ServeState WidgetServer::State() const {
  // An answer still on its way.
  return ServeState{started_micros_, last_request_micros_,
                    widget_->NextDueMicros().has_value() || !to_host_.empty()};
}

ServeEnd WidgetServer::Serve(int stop_fd, const ServeOptions& options) {
  return ServeRounds(
      options, [this] { return started_micros_.has_value(); },
      [&] { return ShouldEndAfterStart(options, clock_.NowMicros(), State(), line_); },
      [&](int wait) { return Pump(wait, stop_fd); });
}

}  // namespace quillmont::sim
