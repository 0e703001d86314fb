// SPDX-License-Identifier: Apache-2.0
#include "sim/simulated_line.h"

#include <algorithm>
#include <cstring>

namespace quillmont {
namespace {

// The baud rates an FTDI adapter can make.
constexpr uint32_t kMinBaud = 183;
constexpr uint32_t kMaxBaud = 3000000;
// Noise is clocked like DMX.
constexpr uint32_t kNoiseBaud = 250000;

}  // namespace

void ApplyFaultsToModel(const FaultPlan& plan, AdapterModel& model) {
  if (plan.ideal_adapter) {
    model.ideal = true;
  }
  if (plan.latency_timer_ms != 0) {
    model.latency_timer_ms = plan.latency_timer_ms;
  }
  if (plan.echo) {
    model.hears_itself = true;
  }
  if (plan.refuse_break) {
    model.refuses_break = true;
  }
  if (plan.simulated_break) {
    model.break_call_micros = kSimulatedBreakMicros;
  }
}

uint64_t LineMicros(uint64_t count, uint32_t baud) {
  if (baud == 0) {
    return 0;
  }
  return (count * 11 * 1000000 + baud - 1) / baud;
}

int SimulatedLine::AddAdapter() {
  adapters_.push_back(std::make_unique<Adapter>());
  adapters_.back()->model = model_;
  return static_cast<int>(adapters_.size()) - 1;
}

void SimulatedLine::SetModel(int adapter, const AdapterModel& model) {
  adapters_.at(static_cast<size_t>(adapter))->model = model;
}

SimulatedFixture& SimulatedLine::AddFixture(int adapter, const FixtureConfig& config) {
  auto& fixtures = adapters_.at(static_cast<size_t>(adapter))->fixtures;
  fixtures.push_back(std::make_unique<SimulatedFixture>(config));
  return *fixtures.back();
}

int SimulatedLine::fixture_count(int adapter) const {
  return static_cast<int>(adapters_.at(static_cast<size_t>(adapter))->fixtures.size());
}

SimulatedFixture& SimulatedLine::fixture(int adapter, int index) {
  return *adapters_.at(static_cast<size_t>(adapter))->fixtures.at(static_cast<size_t>(index));
}

uint64_t SimulatedLine::replies(int adapter) {
  Adapter& line = *adapters_.at(static_cast<size_t>(adapter));
  Settle(line, clock_.NowMicros());
  return line.replies;
}

const AdapterModel& SimulatedLine::model(int adapter) const {
  return adapters_.at(static_cast<size_t>(adapter))->model;
}

const FaultPlan& SimulatedLine::faults(int adapter) const {
  return adapters_.at(static_cast<size_t>(adapter))->faults;
}

uint32_t SimulatedLine::baud(int adapter) const {
  return adapters_.at(static_cast<size_t>(adapter))->baud;
}

bool SimulatedLine::plugged(int adapter) const {
  return PluggedAt(*adapters_.at(static_cast<size_t>(adapter)), clock_.NowMicros());
}

void SimulatedLine::InstallFaults(int adapter_index, const FaultPlan& plan) {
  Adapter& adapter = *adapters_.at(static_cast<size_t>(adapter_index));
  const uint64_t now = clock_.NowMicros();
  adapter.faults = plan;
  adapter.faults_from_micros = now;
  adapter.random = FaultRandom(plan.seed);
  adapter.stray_random = FaultRandom(plan.seed ^ 0x7374726179ull);
  ApplyFaultsToModel(plan, adapter.model);
  for (auto& fixture : adapter.fixtures) {
    fixture->config().slow = plan.slow;
    fixture->config().reset_in_erase = plan.reset_in_erase;
  }
  if (plan.second_fixture) {
    FixtureConfig config =
        adapter.fixtures.empty() ? FixtureConfig{} : adapter.fixtures.front()->config();
    config.uid[5] = static_cast<uint8_t>(config.uid[5] + 1);
    adapter.fixtures.push_back(std::make_unique<SimulatedFixture>(config));
  }
  // Noise has its own generator, so that it does not shift which replies the rates hit.
  FaultRandom noise_random(plan.seed ^ 0x6E6F697365ull);
  for (const NoiseBurst& burst : plan.noise) {
    const uint64_t start = now + burst.at_micros;
    for (uint32_t i = 0; i < burst.count; ++i) {
      QueueByte(adapter, start + LineMicros(i + 1, kNoiseBaud),
                static_cast<uint8_t>(noise_random.Next()), LineMicros(1, kNoiseBaud));
    }
  }
}

bool SimulatedLine::PluggedAt(const Adapter& adapter, uint64_t micros) const {
  for (const UnplugWindow& window : adapter.faults.unplugs) {
    const uint64_t unplug = adapter.faults_from_micros + window.unplug_micros;
    const uint64_t replug = window.replug_micros == UINT64_MAX
                                ? UINT64_MAX
                                : adapter.faults_from_micros + window.replug_micros;
    if (micros >= unplug && micros < replug) {
      return false;
    }
  }
  return true;
}

bool SimulatedLine::SessionAlive(const Session& session, uint64_t now) const {
  const Adapter& adapter = *adapters_[static_cast<size_t>(session.adapter)];
  for (const UnplugWindow& window : adapter.faults.unplugs) {
    const uint64_t unplug = adapter.faults_from_micros + window.unplug_micros;
    if (session.opened_micros < unplug && unplug <= now) {
      return false;
    }
  }
  return true;
}

SimulatedLine::Adapter* SimulatedLine::Find(FT_HANDLE handle, FT_STATUS& status) {
  // The handle is only ever compared, never followed, until it is known to be ours.
  const auto it = std::find_if(sessions_.begin(), sessions_.end(),
                               [handle](const auto& s) { return s.get() == handle; });
  if (handle == nullptr || it == sessions_.end()) {
    status = FT_INVALID_HANDLE;
    return nullptr;
  }
  const uint64_t now = clock_.NowMicros();
  if (!SessionAlive(**it, now)) {
    status = FT_IO_ERROR;
    return nullptr;
  }
  Adapter& adapter = *adapters_[static_cast<size_t>((*it)->adapter)];
  Settle(adapter, now);
  status = FT_OK;
  return &adapter;
}

void SimulatedLine::Settle(Adapter& adapter, uint64_t now) {
  // Frames that are through reach the fixtures in order, each at its own time.
  while (!adapter.outgoing.empty() && adapter.outgoing.front().end_micros <= now) {
    const OutgoingFrame frame = std::move(adapter.outgoing.front());
    adapter.outgoing.pop_front();
    adapter.outgoing_bytes -= frame.bytes.size();
    FinishFrame(adapter, frame, frame.bytes.size());
  }
  for (auto& fixture : adapter.fixtures) {
    fixture->AdvanceTo(now);
  }
  adapter.released = ReleasedToHost(
      adapter.model, [&adapter](size_t i) { return adapter.rx[i].at_micros; }, adapter.rx.size(),
      adapter.released, now);
}

void SimulatedLine::FinishFrame(Adapter& adapter, const OutgoingFrame& frame, size_t sent) {
  const uint64_t byte_micros = LineMicros(1, frame.baud);
  if (adapter.model.hears_itself) {
    for (size_t i = 0; i < sent; ++i) {
      QueueByte(adapter, frame.start_micros + LineMicros(i + 1, frame.baud), frame.bytes[i],
                byte_micros);
    }
  }
  if (frame.request && sent == frame.bytes.size()) {
    for (auto& fixture : adapter.fixtures) {
      fixture->AdvanceTo(frame.end_micros);
    }
    DeliverFrame(adapter, frame.bytes.data(), frame.bytes.size(), frame.end_micros);
  }
}

FT_STATUS SimulatedLine::FT_CreateDeviceInfoList(uint32_t* count) {
  if (count == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  const uint64_t now = clock_.NowMicros();
  *count = static_cast<uint32_t>(std::count_if(adapters_.begin(), adapters_.end(),
                                               [&](const auto& a) { return PluggedAt(*a, now); }));
  return FT_OK;
}

FT_STATUS SimulatedLine::FT_GetLibraryVersion(uint32_t* version) {
  if (version == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  *version = kSimLibraryVersion;
  return FT_OK;
}

FT_STATUS SimulatedLine::FT_Open(int index, FT_HANDLE* handle) {
  if (handle == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  const uint64_t now = clock_.NowMicros();
  // The index counts the adapters that are plugged in, as the driver's device list does.
  int seen = -1;
  for (size_t a = 0; a < adapters_.size(); ++a) {
    Adapter& adapter = *adapters_[a];
    if (!PluggedAt(adapter, now) || ++seen != index) {
      continue;
    }
    for (const auto& s : sessions_) {
      if (s->adapter == static_cast<int>(a) && SessionAlive(*s, now)) {
        return FT_DEVICE_NOT_OPENED;  // already open
      }
    }
    sessions_.push_back(std::make_unique<Session>(Session{static_cast<int>(a), now}));
    adapter.baud = kSimDefaultBaud;
    adapter.break_on = false;
    adapter.break_ready = false;
    adapter.line_free_micros = now;
    adapter.outgoing.clear();
    adapter.outgoing_bytes = 0;
    while (!adapter.rx.empty() && adapter.rx.front().at_micros <= now) {
      adapter.rx.pop_front();
    }
    adapter.released = 0;
    Settle(adapter, now);
    *handle = sessions_.back().get();
    return FT_OK;
  }
  return FT_DEVICE_NOT_FOUND;
}

FT_STATUS SimulatedLine::FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) {
  FT_STATUS status = FT_OK;
  Adapter* adapter = Find(handle, status);
  if (adapter == nullptr) {
    return status;
  }
  if (baud < kMinBaud || baud > kMaxBaud) {
    return FT_INVALID_BAUD_RATE;
  }
  adapter->baud = baud;
  return FT_OK;
}

FT_STATUS SimulatedLine::FT_SetBreakOn(FT_HANDLE handle) {
  FT_STATUS status = FT_OK;
  Adapter* adapter = Find(handle, status);
  if (adapter == nullptr) {
    return status;
  }
  if (adapter->model.refuses_break) {
    return FT_OTHER_ERROR;  // the driver has no way to hold a break
  }
  const uint64_t now = clock_.NowMicros();
  if (!adapter->model.ideal && adapter->line_free_micros > now) {
    // The break drives the line at once: the bytes still queued go out under it and are lost,
    // and the frame being sent reaches the fixtures cut short, which none takes as a request.
    while (!adapter->outgoing.empty()) {
      const OutgoingFrame& frame = adapter->outgoing.front();
      const uint64_t byte_micros = std::max<uint64_t>(LineMicros(1, frame.baud), 1);
      const uint64_t sent = now > frame.start_micros ? (now - frame.start_micros) / byte_micros : 0;
      FinishFrame(*adapter, frame, std::min<size_t>(sent, frame.bytes.size()));
      adapter->outgoing.pop_front();
    }
    adapter->outgoing_bytes = 0;
    adapter->line_free_micros = now;
  }
  adapter->break_on = true;
  adapter->break_ready = false;
  adapter->break_on_micros = now;
  return FT_OK;
}

FT_STATUS SimulatedLine::FT_SetBreakOff(FT_HANDLE handle) {
  FT_STATUS status = FT_OK;
  Adapter* adapter = Find(handle, status);
  if (adapter == nullptr) {
    return status;
  }
  if (adapter->break_on && adapter->model.break_call_micros > 0) {
    // A driver that simulates the break holds the line low for its own time, and the call
    // returns only then.
    WaitUntilMicros(clock_, adapter->break_on_micros + adapter->model.break_call_micros);
  }
  const uint64_t now = clock_.NowMicros();
  if (adapter->break_on && adapter->model.break_reaches_line) {
    adapter->break_ready = now - adapter->break_on_micros >= kSimMinBreakMicros;
    // An adapter that hears itself reads its own break as a NUL, once the break has lasted a
    // whole byte.
    const uint64_t byte_micros = LineMicros(1, adapter->baud);
    if (adapter->model.hears_itself && adapter->model.BreakReadsAsNul() &&
        now - adapter->break_on_micros >= byte_micros) {
      QueueByte(*adapter, adapter->break_on_micros + byte_micros, 0x00, byte_micros);
    }
  }
  adapter->break_on = false;
  adapter->break_off_micros = now;
  return FT_OK;
}

FT_STATUS SimulatedLine::FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                                  uint32_t* written) {
  FT_STATUS status = FT_OK;
  Adapter* adapter = Find(handle, status);
  if (adapter == nullptr) {
    return status;
  }
  if ((bytes == nullptr && count > 0) || written == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  if (adapter->outgoing_bytes + count > kSimTxCapacity) {
    *written = 0;  // the write times out: the adapter's buffer is full
    return FT_OK;
  }
  const uint64_t now = clock_.NowMicros();
  const uint64_t start = std::max(now, adapter->line_free_micros);
  const uint64_t end = start + LineMicros(count, adapter->baud);
  adapter->line_free_micros = end;
  // A request needs its break and then a mark of at least 8 us before its first byte.
  const bool after_break = adapter->break_ready && !adapter->break_on &&
                           start - adapter->break_off_micros >= kSimMinMarkAfterBreakMicros;
  adapter->break_ready = false;
  if (count > 0) {
    const auto* first = static_cast<const uint8_t*>(bytes);
    adapter->outgoing_bytes += count;
    adapter->outgoing.push_back(OutgoingFrame{std::vector<uint8_t>(first, first + count), start,
                                              end, adapter->baud, after_break});
  }
  *written = count;
  return FT_OK;
}

void SimulatedLine::DeliverFrame(Adapter& adapter, const uint8_t* frame, size_t size,
                                 uint64_t end_micros) {
  FaultPlan& faults = adapter.faults;
  uint64_t answer_start = UINT64_MAX;  // the first discovery answer's, for stray bytes
  for (auto& fixture : adapter.fixtures) {
    if (fixture->config().baud != adapter.baud) {
      continue;  // the frame reaches it garbled: framing errors, no request
    }
    auto reply = fixture->OnRequest(frame, size, end_micros);
    if (!reply || reply->bytes.empty()) {
      continue;
    }
    const uint64_t number = ++adapter.replies;
    const auto listed = [number](const std::vector<uint64_t>& list) {
      return std::find(list.begin(), list.end(), number) != list.end();
    };
    const bool drop = listed(faults.drop_replies) ||
                      (faults.drop_rate > 0 && adapter.random.NextUnit() < faults.drop_rate);
    const bool corrupt =
        listed(faults.corrupt_replies) ||
        (faults.corrupt_rate > 0 && adapter.random.NextUnit() < faults.corrupt_rate);
    if (drop) {
      continue;
    }
    if (corrupt) {
      const uint32_t at = adapter.random.Below(static_cast<uint32_t>(reply->bytes.size()));
      reply->bytes[at] ^= static_cast<uint8_t>(1 + adapter.random.Below(255));
    }
    const uint32_t baud = fixture->config().baud;
    const uint64_t byte_micros = LineMicros(1, baud);
    const uint64_t line_start = end_micros + reply->delay_micros;
    // An adapter that still drives the line after its request hears nothing until it lets go.
    const uint64_t heard_from = end_micros + adapter.model.driver_hold_micros;
    const uint64_t break_seen = std::max(line_start, heard_from) + byte_micros;
    if (reply->with_break && adapter.model.BreakReadsAsNul() &&
        break_seen <= line_start + kSimReplyBreakMicros) {
      // The adapter sees the break once it has lasted a whole byte, and reports it as a NUL.
      QueueByte(adapter, break_seen, 0x00, byte_micros);
    }
    if (!reply->with_break) {
      answer_start = std::min(answer_start, line_start);
    }
    const uint64_t start = line_start + (reply->with_break ? kSimReplyBreakMicros : 0);
    QueueReply(adapter, std::move(reply->bytes), start, baud, heard_from);
  }
  if (answer_start != UINT64_MAX && faults.stray_bytes > 0) {
    // The line turning around: stray bytes in the byte times just before the preamble.
    const uint64_t byte_micros = LineMicros(1, kNoiseBaud);
    const uint64_t first = answer_start > faults.stray_bytes * byte_micros
                               ? answer_start - faults.stray_bytes * byte_micros
                               : 0;
    for (uint32_t i = 0; i < faults.stray_bytes; ++i) {
      QueueByte(adapter, first + LineMicros(i + 1, kNoiseBaud),
                static_cast<uint8_t>(adapter.stray_random.Next()), byte_micros);
    }
  }
}

void SimulatedLine::QueueReply(Adapter& adapter, std::vector<uint8_t> bytes, uint64_t start_micros,
                               uint32_t baud, uint64_t heard_from) {
  const uint64_t byte_micros = LineMicros(1, baud);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (start_micros + LineMicros(i, baud) < heard_from) {
      continue;  // sent while the adapter still drove the line: lost
    }
    QueueByte(adapter, start_micros + LineMicros(i + 1, baud), bytes[i], byte_micros);
  }
}

void SimulatedLine::QueueByte(Adapter& adapter, uint64_t at_micros, uint8_t byte,
                              uint64_t byte_micros) {
  auto& rx = adapter.rx;
  // A byte on the line at the same time as one already there collides with it. Bytes handed to
  // the host are out of reach.
  const auto held = rx.begin() + static_cast<std::ptrdiff_t>(adapter.released);
  for (auto it = rx.end(); it != held;) {
    --it;
    const uint64_t apart =
        it->at_micros > at_micros ? it->at_micros - at_micros : at_micros - it->at_micros;
    if (apart < byte_micros) {
      it->byte &= byte;
      return;
    }
    if (it->at_micros + byte_micros <= at_micros) {
      break;
    }
  }
  if (rx.size() >= kSimRxCapacity) {
    return;
  }
  auto position = std::upper_bound(held, rx.end(), at_micros,
                                   [](uint64_t t, const TimedByte& b) { return t < b.at_micros; });
  rx.insert(position, TimedByte{at_micros, byte});
}

FT_STATUS SimulatedLine::FT_GetStatus(FT_HANDLE handle, uint32_t* rx_waiting, uint32_t* tx_waiting,
                                      uint32_t* event_state) {
  FT_STATUS status = FT_OK;
  Adapter* adapter = Find(handle, status);
  if (adapter == nullptr) {
    return status;
  }
  if (rx_waiting == nullptr || tx_waiting == nullptr || event_state == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  const uint64_t now = clock_.NowMicros();
  *rx_waiting = static_cast<uint32_t>(adapter->released);
  const uint64_t byte_micros = std::max<uint64_t>(LineMicros(1, adapter->baud), 1);
  *tx_waiting =
      adapter->line_free_micros > now
          ? static_cast<uint32_t>((adapter->line_free_micros - now + byte_micros - 1) / byte_micros)
          : 0;
  *event_state = 0;
  return FT_OK;
}

FT_STATUS SimulatedLine::FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* read) {
  FT_STATUS status = FT_OK;
  Adapter* adapter = Find(handle, status);
  if (adapter == nullptr) {
    return status;
  }
  if ((buffer == nullptr && count > 0) || read == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  const uint32_t n = std::min(count, static_cast<uint32_t>(adapter->released));
  auto* out = static_cast<uint8_t*>(buffer);
  for (uint32_t i = 0; i < n; ++i) {
    out[i] = adapter->rx.front().byte;
    adapter->rx.pop_front();
  }
  adapter->released -= n;
  *read = n;
  return FT_OK;
}

FT_STATUS SimulatedLine::FT_GetModemStatus(FT_HANDLE handle, uint32_t* modem_status) {
  FT_STATUS status = FT_OK;
  Adapter* adapter = Find(handle, status);
  if (adapter == nullptr) {
    return status;
  }
  if (modem_status == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  *modem_status = 0;
  return FT_OK;
}

FT_STATUS SimulatedLine::WaitReadable(FT_HANDLE handle, uint64_t timeout_micros) {
  FT_STATUS status = FT_OK;
  Adapter* adapter = Find(handle, status);
  if (adapter == nullptr) {
    return status;
  }
  if (adapter->released > 0) {
    return FT_OK;
  }
  // Nothing changes on the line before its next event: a packet handed over, a frame through
  // (which the fixtures answer, and an adapter that hears itself hands back), the adapter
  // pulled out.
  const uint64_t now = clock_.NowMicros();
  uint64_t next = NextReleaseMicros(
      adapter->model, [adapter](size_t i) { return adapter->rx[i].at_micros; }, adapter->rx.size(),
      adapter->released);
  if (!adapter->outgoing.empty()) {
    next = std::min(next, adapter->outgoing.front().end_micros);
  }
  for (const UnplugWindow& window : adapter->faults.unplugs) {
    const uint64_t unplug = adapter->faults_from_micros + window.unplug_micros;
    if (unplug > now) {
      next = std::min(next, unplug);
    }
  }
  const uint64_t until = timeout_micros > next - std::min(next, now) ? next : now + timeout_micros;
  if (until > now) {
    clock_.SleepMicros(until - now);
  }
  return FT_OK;
}

AdapterFacts SimulatedLine::Facts(FT_HANDLE handle) {
  FT_STATUS status = FT_OK;
  const Adapter* adapter = Find(handle, status);
  if (adapter == nullptr) {
    return {};
  }
  AdapterFacts facts;
  facts.port = "simulated adapter " + std::to_string(AdapterIndex(*adapter));
  facts.backend = "sim";
  facts.chip = adapter->model.chip;
  facts.driver = adapter->model.driver;
  facts.latency_timer_ms = adapter->model.latency_timer_ms;
  facts.baud = adapter->baud;
  facts.hears_itself = adapter->model.hears_itself;
  return facts;
}

int SimulatedLine::AdapterIndex(const Adapter& adapter) const {
  for (size_t i = 0; i < adapters_.size(); ++i) {
    if (adapters_[i].get() == &adapter) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

FT_STATUS SimulatedLine::FT_Close(FT_HANDLE handle) {
  const auto it = std::find_if(sessions_.begin(), sessions_.end(),
                               [handle](const auto& s) { return s.get() == handle; });
  if (handle == nullptr || it == sessions_.end()) {
    return FT_INVALID_HANDLE;
  }
  sessions_.erase(it);
  return FT_OK;
}

}  // namespace quillmont
