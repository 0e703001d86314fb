// SPDX-License-Identifier: Apache-2.0
// A D2xxDriver for tests: one adapter whose line is a script. It records every break, write and
// status query with its virtual time, and delivers scripted reply bytes when their time has come
// on the VirtualClock; a wait on the line sleeps exactly until the next scripted byte, so that
// tests count waits, time and ticks exactly.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "link/clock.h"
#include "link/d2xx_driver.h"

namespace quillmont::testing {

class ScriptedDriver : public D2xxDriver {
 public:
  enum class Call {
    CreateDeviceInfoList,
    GetLibraryVersion,
    Open,
    SetBaudRate,
    BreakOn,
    BreakOff,
    Write,
    GetStatus,
    Read,
    GetModemStatus,
    Close
  };
  struct Event {
    Call call;
    uint64_t at_micros;
    std::vector<uint8_t> bytes;  // the frame, for writes
    uint32_t value = 0;          // the baud rate, device index or read count
  };

  explicit ScriptedDriver(VirtualClock& clock) : clock_(clock) {}

  // Bytes that become readable at an absolute virtual time, or `delay_micros` from now.
  void DeliverAt(uint64_t at_micros, const std::vector<uint8_t>& bytes);
  void DeliverAfter(uint64_t delay_micros, const std::vector<uint8_t>& bytes);
  // Bytes readable at once.
  void Deliver(const std::vector<uint8_t>& bytes) { DeliverAt(clock_.NowMicros(), bytes); }
  // Called after every accepted write with the frame; tests script replies here.
  std::function<void(const std::vector<uint8_t>& frame)> on_write;

  // What the adapter does.
  uint32_t device_count = 1;
  FT_STATUS device_list_status = FT_OK;  // on failure the count is left untouched
  uint32_t library_version = 0x00030216;
  FT_STATUS version_status = FT_OK;
  FT_STATUS open_status = FT_OK;
  FT_STATUS baud_status = FT_OK;
  FT_STATUS break_on_status = FT_OK;
  FT_STATUS break_off_status = FT_OK;
  FT_STATUS write_status = FT_OK;
  FT_STATUS status_status = FT_OK;
  FT_STATUS read_status = FT_OK;
  FT_STATUS modem_status = FT_OK;
  // What WaitReadable answers: FT_OK waits for the next scripted byte (or the time-out);
  // FT_NOT_SUPPORTED makes the line access wait on its clock instead.
  FT_STATUS wait_status = FT_OK;
  // How often WaitReadable waited.
  uint64_t waits = 0;
  // FT_Open reports FT_OK but hands back a null handle (a broken backend).
  bool open_gives_null_handle = false;

  // The handle FT_Open gives.
  FT_HANDLE handle() { return &handle_token_; }

  // Everything that happened, in order.
  std::vector<Event> events;
  std::vector<std::vector<uint8_t>> Writes() const;
  size_t Count(Call call) const;
  // The calls alone, in order.
  std::vector<Call> Calls() const;
  // Bytes delivered and not yet read (arrived or not).
  size_t Pending() const { return pending_.size(); }
  uint32_t baud_rate = 0;
  bool open = false;

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
  FT_STATUS WaitReadable(FT_HANDLE handle, uint64_t timeout_micros) override;

 private:
  struct Timed {
    uint64_t at_micros;
    uint8_t byte;
  };
  void Record(Call call, std::vector<uint8_t> bytes = {}, uint32_t value = 0);
  uint32_t Arrived() const;

  VirtualClock& clock_;
  std::deque<Timed> pending_;
  int handle_token_ = 0;
};

}  // namespace quillmont::testing
