// SPDX-License-Identifier: Apache-2.0
// A D2xxDriver for DMX USB Pro-style widgets. The widget has its own microcontroller that makes
// the break, sends the frame and turns the line around; the host speaks messages to it over the
// widget's USB serial port (widget_message.h). This driver sits over another D2xxDriver that
// carries those messages (the serial backend on the widget's port, or the simulated widget) and
// gives the line access what it expects of an adapter:
//
//   - FT_SetBreakOn/FT_SetBreakOff arm the next write; the frame written after a break goes out as
//     label 7, or as label 11 when it is a DISC_UNIQUE_BRANCH request. A write without a break
//     sends nothing and fails: the widget has no way to put bytes on the line without one.
//   - One request is on the line at a time: a write waits until the request before it was
//     answered (label 5), found unanswered (label 12) or `answer_wait_ms` passed.
//   - A label 5 message reaches the reader only when it begins with the RDM start code 0xCC, or
//     answers a discovery request that waits: a widget also hands over the DMX a console puts on
//     the line (start code 0), which is passed over. The reader gets the bytes from the start
//     code (or the discovery preamble) on, with no NUL for the reply's break: the widget has
//     already cut the reply at its break. A label 5 with a status other than 0 (the widget's
//     receiver overran or saw framing errors) is dropped and counted, unless it answers a
//     discovery request: then it is a collision, handed over as it came (a NUL when empty) so
//     that the search sees it garbled. Label 12 (nothing answered) is silence.
//   - FT_Open asks the widget for its serial number (label 10) and parameters (label 3) and opens
//     only a port whose widget answers, so that a plain cable is never taken for a widget. A
//     clone whose USB side is a UART bridge talks at one host-side rate (`host_baud`).
//   - The widget's line runs at DMX512's 250000 baud, which the protocol cannot change: any other
//     rate is refused.
//   - A widget that stops answering counts as gone within a bounded time: nothing valid heard
//     for `silence_ms` (an unanswered discovery request included), then a serial number request
//     unanswered for `silence_ms` again. FT_GetModemStatus and FT_GetStatus then fail, and
//     link_error() says why. Malformed messages are dropped by the parser and only counted; a
//     widget that sends nothing else is silent, and so counts as gone.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/d2xx_driver.h"
#include "link/usbpro/widget_message.h"

namespace quillmont::usbpro {

// The only rate a widget's DMX line runs at.
inline constexpr uint32_t kWidgetBaud = 250000;
// Received bytes waiting for the reader; later ones are lost, as in an overflowing adapter.
inline constexpr size_t kMaxWaiting = 65536;

struct UsbProOptions {
  // How long FT_Open waits for the widget's serial number and parameters.
  uint32_t answer_ms = 500;
  // How long the widget may stay silent before it is asked for its serial number, and how long
  // that question may stay unanswered before the widget counts as gone.
  uint32_t silence_ms = 1000;
  // How long a request may wait for label 5 or label 12 before the next may go out.
  uint32_t answer_wait_ms = 40;
  // The rate of the widget's USB serial port, for clones that need one; 0 leaves the port's own.
  uint32_t host_baud = 0;
  // Called with a port's index when no widget answered there, so that the search does not open
  // it again until it is plugged in anew; optional.
  std::function<void(int index)> set_aside;
  // The inner driver's name for a port, and why it last failed to open one; optional.
  std::function<std::string(int index)> port_name;
  std::function<std::string()> inner_open_error;
};

struct WidgetInfo {
  std::string serial;  // "12345678"
  bool has_parameters = false;
  uint16_t firmware = 0;   // MSB, LSB: (1 << 8) | 44 prints as 1.44
  uint8_t break_time = 0;  // in units of 10.67 us
  uint8_t mab_time = 0;    // in units of 10.67 us
  uint8_t rate = 0;        // DMX output rate, packets per second

  // "serial 12345678, firmware 1.44"
  std::string Describe() const;
};

class UsbProDriver final : public D2xxDriver {
 public:
  // `clock` paces FT_Open's wait and times the widget's silence; null: the system's clock.
  UsbProDriver(std::unique_ptr<D2xxDriver> inner, Clock* clock, UsbProOptions options = {});
  ~UsbProDriver() override;
  UsbProDriver(const UsbProDriver&) = delete;
  UsbProDriver& operator=(const UsbProDriver&) = delete;

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
  AdapterFacts Facts(FT_HANDLE handle) override;

  // Why the last FT_Open failed, naming the port; empty when it opened.
  std::string open_error() const;
  // What the open widget told about itself; null for an unknown handle.
  const WidgetInfo* info(FT_HANDLE handle) const;
  // Why the open widget counts as gone; empty while it answers.
  std::string link_error(FT_HANDLE handle) const;
  // Opens widget `index`, reads what it tells about itself and closes it again; nothing when no
  // widget answers there (open_error() says why).
  std::optional<WidgetInfo> Describe(int index);

  // The driver that carries the messages.
  const D2xxDriver& inner() const { return *inner_; }

  // Malformed bytes and messages dropped, and label 5 messages with a bad status, on all widgets.
  uint64_t dropped() const { return dropped_; }
  // Label 5 messages passed over as not RDM (a console's DMX) on the widget behind `handle`.
  uint64_t passed_over(FT_HANDLE handle) const;

 private:
  struct Widget;

  Widget* Find(FT_HANDLE handle) const;
  std::string PortName(int index) const;
  // Reads what the widget sent and acts on its messages; the bytes taken from its port.
  uint32_t Pump(Widget& widget);
  void OnMessage(Widget& widget, uint8_t label, std::span<const uint8_t> data);
  void OnReceivedData(Widget& widget, std::span<const uint8_t> data);
  // Waits on the widget's port until bytes come or `micros` pass.
  void WaitOnPort(Widget& widget, uint64_t micros);
  // Waits until the request on the line is answered, or its wait is over.
  void AwaitAnswer(Widget& widget);
  std::string NoWidgetText(const std::string& port) const;
  // Marks the widget gone when it has been silent too long, or asks it whether it is there.
  void CheckAnswering(Widget& widget);
  bool Send(Widget& widget, uint8_t label, std::span<const uint8_t> data);

  std::unique_ptr<D2xxDriver> inner_;
  SystemClock system_clock_;
  Clock& clock_;
  UsbProOptions options_;
  std::vector<std::unique_ptr<Widget>> widgets_;
  std::string open_error_;
  bool own_open_error_ = false;
  uint64_t dropped_ = 0;
};

}  // namespace quillmont::usbpro
