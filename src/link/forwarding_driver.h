// SPDX-License-Identifier: Apache-2.0
// A D2xxDriver that passes every call on to another driver: the base of the decorators that
// change or watch a few calls (one adapter shown alone, a counter of what crossed the line).
// A decorator overrides the calls it cares about and leaves the rest to this base.
#pragma once

#include <cstdint>

#include "link/d2xx_driver.h"

namespace quillmont {

class ForwardingDriver : public D2xxDriver {
 public:
  FT_STATUS FT_CreateDeviceInfoList(uint32_t* count) override {
    return inner().FT_CreateDeviceInfoList(count);
  }
  FT_STATUS FT_GetLibraryVersion(uint32_t* version) override {
    return inner().FT_GetLibraryVersion(version);
  }
  FT_STATUS FT_Open(int index, FT_HANDLE* handle) override {
    return inner().FT_Open(index, handle);
  }
  FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) override {
    return inner().FT_SetBaudRate(handle, baud);
  }
  FT_STATUS FT_SetBreakOn(FT_HANDLE handle) override { return inner().FT_SetBreakOn(handle); }
  FT_STATUS FT_SetBreakOff(FT_HANDLE handle) override { return inner().FT_SetBreakOff(handle); }
  FT_STATUS FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                     uint32_t* written) override {
    return inner().FT_Write(handle, bytes, count, written);
  }
  FT_STATUS FT_GetStatus(FT_HANDLE handle, uint32_t* rx_waiting, uint32_t* tx_waiting,
                         uint32_t* event_state) override {
    return inner().FT_GetStatus(handle, rx_waiting, tx_waiting, event_state);
  }
  FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* read) override {
    return inner().FT_Read(handle, buffer, count, read);
  }
  FT_STATUS FT_GetModemStatus(FT_HANDLE handle, uint32_t* modem_status) override {
    return inner().FT_GetModemStatus(handle, modem_status);
  }
  FT_STATUS FT_Close(FT_HANDLE handle) override { return inner().FT_Close(handle); }
  FT_STATUS WaitReadable(FT_HANDLE handle, uint64_t timeout_micros) override {
    return inner().WaitReadable(handle, timeout_micros);
  }
  AdapterFacts Facts(FT_HANDLE handle) override { return inner().Facts(handle); }

 protected:
  // The driver the calls go to. A decorator that owns it holds it and returns it here; one
  // that borrows it keeps a reference.
  virtual D2xxDriver& inner() = 0;
};

}  // namespace quillmont
