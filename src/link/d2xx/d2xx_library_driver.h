// SPDX-License-Identifier: Apache-2.0
// A D2xxDriver over the adapter vendor's D2XX library, loaded at run time. Nothing of the
// library is needed to build: when it is missing, load_error() says so and every call fails.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/d2xx_driver.h"

namespace quillmont::d2xx {

// The library's file name on this system: libftd2xx.so, ftd2xx.dll or libftd2xx.dylib.
std::string DefaultLibraryName();

// What every adapter is set to when it opens, whatever a program before left it in: bit mode
// reset (a bit-bang mode would keep the UART off the line), no flow control (RTS/CTS would hold
// every frame), both queues purged, time-outs on reads and writes (the library's default waits
// for ever on a stuck adapter), 8 data bits, 2 stop bits and no parity, as DMX512 and RDM frames
// are, and the shortest latency timer, so that received bytes reach the host within a
// millisecond instead of waiting up to 16 ms in the chip (2 ms where a chip refuses 1).
inline constexpr uint8_t kWordLength8 = 8;
inline constexpr uint8_t kStopBits2 = 2;
inline constexpr uint8_t kParityNone = 0;
inline constexpr uint8_t kLatencyTimerMs = 1;
inline constexpr uint8_t kFallbackLatencyTimerMs = 2;
inline constexpr uint32_t kReadTimeoutMs = 50;
// A break waits until the chip has sent what it holds, its transmitter empty: at most twice the
// frame's time on the wire plus this slack, then the break is refused.
inline constexpr uint32_t kDrainSlackMs = 20;
inline constexpr uint32_t kDrainLimitMs = 5000;

struct D2xxOptions {
  // The driver enable is switched by RTS: raised for the break and the frame, lowered once the
  // frame has left the transmitter.
  bool rts_direction = false;
};

class D2xxLibraryDriver final : public D2xxDriver {
 public:
  // `clock` paces the wait for the transmit queue before a break; null for the system's.
  explicit D2xxLibraryDriver(const std::string& library_name = DefaultLibraryName(),
                             Clock* clock = nullptr, D2xxOptions options = {});
  ~D2xxLibraryDriver() override;
  D2xxLibraryDriver(const D2xxLibraryDriver&) = delete;
  D2xxLibraryDriver& operator=(const D2xxLibraryDriver&) = delete;

  bool available() const { return load_error_.empty(); }
  // Empty when the library and all its operations were found; otherwise a text for the user.
  const std::string& load_error() const { return load_error_; }
  // Why the last FT_Open failed, for the user ("FTDI adapter 0: ..."); empty when it opened.
  const std::string& open_error() const { return open_error_; }

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
  // Waits on the library's receive event where it has one.
  FT_STATUS WaitReadable(FT_HANDLE handle, uint64_t timeout_micros) override;
  AdapterFacts Facts(FT_HANDLE handle) override;

 private:
  struct Api;
  struct OpenAdapter;
  // The adapter behind a handle that this driver's FT_Open returned and FT_Close has not yet
  // taken back, or null; the library is never handed anything else.
  OpenAdapter* Known(FT_HANDLE handle);
  // Sets a freshly opened chip up for the line; an error text when it cannot be.
  std::string SetUp(OpenAdapter& adapter);
  void SetLatencyTimer(OpenAdapter& adapter);
  // Waits until the chip has sent the frame before (its queue empty and its transmitter empty,
  // or where it does not tell, the frame's time on the wire); FT_IO_ERROR when it does not in
  // time.
  FT_STATUS WaitForTransmitter(OpenAdapter& adapter);

  std::unique_ptr<Api> api_;
  std::string load_error_;
  std::string open_error_;
  std::vector<std::unique_ptr<OpenAdapter>> open_;
  SystemClock system_clock_;
  Clock& clock_;
  D2xxOptions options_;
};

}  // namespace quillmont::d2xx
