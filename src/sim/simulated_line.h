// SPDX-License-Identifier: Apache-2.0
// A simulated USB-to-RS485 adapter set, behind the D2xxDriver seam. Each adapter is an
// independent DMX line with its own fixtures.
//
// Timing model, evaluated lazily from Clock::NowMicros() at every driver call (so a
// VirtualClock run is exact and repeatable, and a SystemClock run behaves like a real line):
//   - a byte takes 11 bit times at the baud rate (start bit, 8 data bits, 2 stop bits); a freshly
//     opened adapter runs at 9600 baud, like a real one;
//   - writes queue in the adapter and drain at the line's rate; a frame reaches the fixtures when
//     its last byte is through. It counts as a request only after a break held for at least
//     88 us and a mark-after-break of at least 8 us; not when written without a break, while
//     the break is still held, or at a baud rate other than the fixture's (it arrives garbled). A
//     break set while bytes are still queued cuts the frame going out: its tail is lost under the
//     break and the fixtures take nothing;
//   - a reply starts after the fixture's turnaround (and its erase or program time); an RDM
//     response begins with a break of 176 us and a mark-after-break of 12 us, a discovery answer
//     has no break;
//   - received bytes reach the host as the adapter model says (sim/adapter_model.h): the break
//     as a 0x00 byte, in 62-byte USB packets or when the latency timer runs out. The ideal
//     adapter hands each byte over when its 11 bit times are over, and no byte for a break;
//   - replies of several fixtures that overlap on the line collide: each byte is the bitwise AND
//     of the bytes on the line during its time (a driven 0 wins, as the start bit does), which
//     breaks the discovery checksum.
//   - at most 64 KiB wait to be read; later bytes are lost, as in an overflowing adapter.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/d2xx_driver.h"
#include "sim/adapter_model.h"
#include "sim/fault_plan.h"
#include "sim/simulated_fixture.h"

namespace quillmont {

inline constexpr uint32_t kSimDefaultBaud = 9600;
inline constexpr uint32_t kSimLibraryVersion = 0x00030216;
inline constexpr uint64_t kSimMinBreakMicros = 88;
inline constexpr uint64_t kSimMinMarkAfterBreakMicros = 8;
inline constexpr uint64_t kSimReplyBreakMicros = 176 + 12;
inline constexpr size_t kSimRxCapacity = 65536;
// Bytes the adapter holds to send; a write beyond them times out with nothing written.
inline constexpr size_t kSimTxCapacity = 65536;

class SimulatedLine final : public D2xxDriver {
 public:
  // Every adapter added later follows `model` (an FTDI adapter with a 1 ms latency timer unless
  // told otherwise; AdapterModel::Ideal() for benchmarks). A fault list may change it per adapter.
  explicit SimulatedLine(Clock& clock, const AdapterModel& model = {})
      : clock_(clock), model_(model) {}
  SimulatedLine(const SimulatedLine&) = delete;
  SimulatedLine& operator=(const SimulatedLine&) = delete;

  // Adds an adapter (its index, from 0) and fixtures on its line.
  int AddAdapter();
  // Makes an adapter behave as `model` says (before faults change it).
  void SetModel(int adapter, const AdapterModel& model);
  SimulatedFixture& AddFixture(int adapter, const FixtureConfig& config = {});
  int adapter_count() const { return static_cast<int>(adapters_.size()); }
  int fixture_count(int adapter) const;
  SimulatedFixture& fixture(int adapter, int index = 0);

  // Installs faults on an adapter; their times count from now. `slow` and `reset_in_erase` go
  // to the fixtures already on the line; `second_fixture` adds one; `latency_timer_ms` and
  // `ideal_adapter` change the adapter's model.
  void InstallFaults(int adapter, const FaultPlan& plan);

  // What the adapter's line did, for tests: replies the fixtures produced (dropped ones
  // included), and the baud rate set.
  uint64_t replies(int adapter);
  uint32_t baud(int adapter) const;
  const AdapterModel& model(int adapter) const;
  const FaultPlan& faults(int adapter) const;
  bool plugged(int adapter) const;

  FT_STATUS FT_CreateDeviceInfoList(uint32_t* count) override;
  FT_STATUS FT_GetLibraryVersion(uint32_t* version) override;
  FT_STATUS FT_Open(int index, FT_HANDLE* handle) override;
  FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) override;
  FT_STATUS FT_SetBreakOn(FT_HANDLE handle) override;
  FT_STATUS FT_SetBreakOff(FT_HANDLE handle) override;
  FT_STATUS FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                     uint32_t* written) override;
  FT_STATUS FT_GetStatus(FT_HANDLE handle, uint32_t* rx_waiting, uint32_t* tx_waiting,
                         uint32_t* event_state) override;
  FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* read) override;
  FT_STATUS FT_GetModemStatus(FT_HANDLE handle, uint32_t* modem_status) override;
  FT_STATUS FT_Close(FT_HANDLE handle) override;
  // Sleeps on the clock until the line's next event (a packet handed over, a frame through,
  // the adapter pulled out) or the time-out, whichever is first.
  FT_STATUS WaitReadable(FT_HANDLE handle, uint64_t timeout_micros) override;
  AdapterFacts Facts(FT_HANDLE handle) override;

 private:
  struct TimedByte {
    uint64_t at_micros;
    uint8_t byte;
  };
  // Bytes written and still going out on the line.
  struct OutgoingFrame {
    std::vector<uint8_t> bytes;
    uint64_t start_micros;
    uint64_t end_micros;
    uint32_t baud;
    bool request;  // after a break: the fixtures take it when it is through
  };
  struct Adapter {
    std::vector<std::unique_ptr<SimulatedFixture>> fixtures;
    AdapterModel model;
    uint32_t baud = kSimDefaultBaud;
    bool break_on = false;
    uint64_t break_on_micros = 0;
    uint64_t break_off_micros = 0;
    bool break_ready = false;  // a long enough break went before the next write
    uint64_t line_free_micros = 0;
    std::deque<OutgoingFrame> outgoing;
    size_t outgoing_bytes = 0;
    std::deque<TimedByte> rx;  // in arrival order
    size_t released = 0;       // the first bytes of rx, handed to the host
    // Faults.
    FaultPlan faults;
    uint64_t faults_from_micros = 0;
    FaultRandom random{1};
    FaultRandom stray_random{2};
    uint64_t replies = 0;
  };
  struct Session {
    int adapter;
    uint64_t opened_micros;
  };

  Adapter* Find(FT_HANDLE handle, FT_STATUS& status);
  bool PluggedAt(const Adapter& adapter, uint64_t micros) const;
  // The open handle died when its adapter was pulled out after it was opened.
  bool SessionAlive(const Session& session, uint64_t now) const;
  void Settle(Adapter& adapter, uint64_t now);
  void FinishFrame(Adapter& adapter, const OutgoingFrame& frame, size_t sent);
  void DeliverFrame(Adapter& adapter, const uint8_t* frame, size_t size, uint64_t end_micros);
  // Bytes that start on the line before `heard_from` are lost (the adapter still drove it).
  void QueueReply(Adapter& adapter, std::vector<uint8_t> bytes, uint64_t start_micros,
                  uint32_t baud, uint64_t heard_from);
  int AdapterIndex(const Adapter& adapter) const;
  void QueueByte(Adapter& adapter, uint64_t at_micros, uint8_t byte, uint64_t byte_micros);

  Clock& clock_;
  AdapterModel model_;
  std::vector<std::unique_ptr<Adapter>> adapters_;
  std::vector<std::unique_ptr<Session>> sessions_;
};

// Microseconds that `count` bytes take on the line at `baud` (11 bits each), rounded up.
uint64_t LineMicros(uint64_t count, uint32_t baud);

// What a fault list changes in an adapter's model: the latency timer, the ideal adapter, echo,
// a refused or simulated break.
void ApplyFaultsToModel(const FaultPlan& plan, AdapterModel& model);

}  // namespace quillmont
