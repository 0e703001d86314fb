// SPDX-License-Identifier: Apache-2.0
#include "support/scripted_driver.h"

#include <algorithm>
#include <cstring>

namespace quillmont::testing {

void ScriptedDriver::DeliverAt(uint64_t at_micros, const std::vector<uint8_t>& bytes) {
  for (uint8_t b : bytes) {
    pending_.push_back({at_micros, b});
  }
  // Bytes reach the receiver in time order, whatever order the script gave them in.
  std::stable_sort(pending_.begin(), pending_.end(),
                   [](const Timed& a, const Timed& b) { return a.at_micros < b.at_micros; });
}

void ScriptedDriver::DeliverAfter(uint64_t delay_micros, const std::vector<uint8_t>& bytes) {
  DeliverAt(clock_.NowMicros() + delay_micros, bytes);
}

std::vector<std::vector<uint8_t>> ScriptedDriver::Writes() const {
  std::vector<std::vector<uint8_t>> writes;
  for (const Event& e : events) {
    if (e.call == Call::Write) {
      writes.push_back(e.bytes);
    }
  }
  return writes;
}

size_t ScriptedDriver::Count(Call call) const {
  return static_cast<size_t>(std::count_if(events.begin(), events.end(),
                                           [call](const Event& e) { return e.call == call; }));
}

std::vector<ScriptedDriver::Call> ScriptedDriver::Calls() const {
  std::vector<Call> calls;
  for (const Event& e : events) {
    calls.push_back(e.call);
  }
  return calls;
}

void ScriptedDriver::Record(Call call, std::vector<uint8_t> bytes, uint32_t value) {
  events.push_back({call, clock_.NowMicros(), std::move(bytes), value});
}

uint32_t ScriptedDriver::Arrived() const {
  const uint64_t now = clock_.NowMicros();
  uint32_t n = 0;
  for (const Timed& t : pending_) {
    if (t.at_micros > now) {
      break;
    }
    ++n;
  }
  return n;
}

FT_STATUS ScriptedDriver::FT_CreateDeviceInfoList(uint32_t* count) {
  Record(Call::CreateDeviceInfoList);
  if (device_list_status != FT_OK) {
    return device_list_status;
  }
  *count = device_count;
  return FT_OK;
}

FT_STATUS ScriptedDriver::FT_GetLibraryVersion(uint32_t* version) {
  Record(Call::GetLibraryVersion);
  if (version_status == FT_OK) {
    *version = library_version;
  }
  return version_status;
}

FT_STATUS ScriptedDriver::FT_Open(int index, FT_HANDLE* handle) {
  Record(Call::Open, {}, static_cast<uint32_t>(index));
  if (open_status != FT_OK) {
    return open_status;
  }
  if (open_gives_null_handle) {
    *handle = nullptr;
    return FT_OK;
  }
  open = true;
  *handle = this->handle();
  return FT_OK;
}

FT_STATUS ScriptedDriver::FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) {
  Record(Call::SetBaudRate, {}, baud);
  if (handle != this->handle()) {
    return FT_INVALID_HANDLE;
  }
  if (baud_status == FT_OK) {
    baud_rate = baud;
  }
  return baud_status;
}

FT_STATUS ScriptedDriver::FT_SetBreakOn(FT_HANDLE handle) {
  Record(Call::BreakOn);
  return handle == this->handle() ? break_on_status : FT_INVALID_HANDLE;
}

FT_STATUS ScriptedDriver::FT_SetBreakOff(FT_HANDLE handle) {
  Record(Call::BreakOff);
  return handle == this->handle() ? break_off_status : FT_INVALID_HANDLE;
}

FT_STATUS ScriptedDriver::FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                                   uint32_t* written) {
  if (handle != this->handle()) {
    return FT_INVALID_HANDLE;
  }
  const auto* p = static_cast<const uint8_t*>(bytes);
  std::vector<uint8_t> frame(p, p + count);
  Record(Call::Write, frame);
  if (write_status != FT_OK) {
    return write_status;
  }
  *written = count;
  if (on_write) {
    on_write(frame);
  }
  return FT_OK;
}

FT_STATUS ScriptedDriver::FT_GetStatus(FT_HANDLE handle, uint32_t* rx_waiting, uint32_t* tx_waiting,
                                       uint32_t* event_state) {
  Record(Call::GetStatus);
  if (handle != this->handle()) {
    return FT_INVALID_HANDLE;
  }
  if (status_status != FT_OK) {
    return status_status;
  }
  *rx_waiting = Arrived();
  *tx_waiting = 0;
  *event_state = 0;
  return FT_OK;
}

FT_STATUS ScriptedDriver::FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* read) {
  Record(Call::Read, {}, count);
  if (handle != this->handle()) {
    return FT_INVALID_HANDLE;
  }
  if (read_status != FT_OK) {
    return read_status;
  }
  const uint32_t n = std::min(count, Arrived());
  auto* out = static_cast<uint8_t*>(buffer);
  for (uint32_t i = 0; i < n; ++i) {
    out[i] = pending_.front().byte;
    pending_.pop_front();
  }
  *read = n;
  return FT_OK;
}

FT_STATUS ScriptedDriver::FT_GetModemStatus(FT_HANDLE handle, uint32_t* modem_status_out) {
  Record(Call::GetModemStatus);
  if (handle != this->handle()) {
    return FT_INVALID_HANDLE;
  }
  *modem_status_out = 0;
  return modem_status;
}

FT_STATUS ScriptedDriver::WaitReadable(FT_HANDLE handle, uint64_t timeout_micros) {
  if (handle != this->handle()) {
    return FT_INVALID_HANDLE;
  }
  if (wait_status != FT_OK) {
    return wait_status;
  }
  ++waits;
  if (Arrived() > 0) {
    return FT_OK;
  }
  // Sleeps until the next scripted byte arrives, or the time-out.
  const uint64_t now = clock_.NowMicros();
  uint64_t until = now + timeout_micros;
  if (!pending_.empty()) {
    until = std::min(until, pending_.front().at_micros);
  }
  clock_.SleepMicros(until - now);
  return FT_OK;
}

FT_STATUS ScriptedDriver::FT_Close(FT_HANDLE handle) {
  Record(Call::Close);
  if (handle == this->handle()) {
    open = false;
  }
  return FT_OK;
}

}  // namespace quillmont::testing
