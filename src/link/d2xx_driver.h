// SPDX-License-Identifier: Apache-2.0
// The operations of the adapter's D2XX driver library that Quillmont relies on, as an
// interface. Every backend (the vendor library, the POSIX serial layer, the simulated line)
// implements it; the line access never knows which one it talks to.
#pragma once

#include <cstdint>

#include "link/adapter_facts.h"

namespace quillmont {

using FT_STATUS = uint32_t;
using FT_HANDLE = void*;

// Status codes, with the values of the vendor library. Only FT_OK means success; callers treat
// every other value alike.
inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS FT_INSUFFICIENT_RESOURCES = 5;
inline constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
inline constexpr FT_STATUS FT_INVALID_BAUD_RATE = 7;
inline constexpr FT_STATUS FT_NOT_SUPPORTED = 17;
inline constexpr FT_STATUS FT_OTHER_ERROR = 18;

class D2xxDriver {
 public:
  virtual ~D2xxDriver() = default;

  // Number of attached adapters. A backend that cannot tell leaves *count untouched.
  virtual FT_STATUS FT_CreateDeviceInfoList(uint32_t* count) = 0;
  virtual FT_STATUS FT_GetLibraryVersion(uint32_t* version) = 0;
  // Opens the adapter at index (from 0) and returns its handle.
  virtual FT_STATUS FT_Open(int index, FT_HANDLE* handle) = 0;
  virtual FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) = 0;
  // The line holds a break from FT_SetBreakOn to FT_SetBreakOff.
  virtual FT_STATUS FT_SetBreakOn(FT_HANDLE handle) = 0;
  virtual FT_STATUS FT_SetBreakOff(FT_HANDLE handle) = 0;
  // FT_OK means the whole frame goes out. With a null handle it fails without touching anything.
  virtual FT_STATUS FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                             uint32_t* written) = 0;
  virtual FT_STATUS FT_GetStatus(FT_HANDLE handle, uint32_t* rx_waiting, uint32_t* tx_waiting,
                                 uint32_t* event_state) = 0;
  // Only ever asked for bytes already waiting, so it never blocks.
  virtual FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* read) = 0;
  // FT_OK while the adapter is attached; the value itself is not used.
  virtual FT_STATUS FT_GetModemStatus(FT_HANDLE handle, uint32_t* modem_status) = 0;
  virtual FT_STATUS FT_Close(FT_HANDLE handle) = 0;

  // Beyond the library's operations, two that every backend may offer:
  //
  // Waits until received bytes wait to be read, or until `timeout_micros` have passed, and
  // returns FT_OK either way (the caller looks at the receive queue again). It waits on the
  // adapter itself (poll() on a serial device, the vendor library's event, a communications
  // port's event, the simulated line's own timing); a backend without such a wait answers
  // FT_NOT_SUPPORTED and the line access waits on its clock instead.
  virtual FT_STATUS WaitReadable(FT_HANDLE /*handle*/, uint64_t /*timeout_micros*/) {
    return FT_NOT_SUPPORTED;
  }
  // What the backend knows of the adapter behind `handle`; empty facts when it knows nothing.
  virtual AdapterFacts Facts(FT_HANDLE /*handle*/) { return {}; }
};

}  // namespace quillmont
