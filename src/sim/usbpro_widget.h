// SPDX-License-Identifier: Apache-2.0
// A simulated DMX USB Pro-style widget: the microcontroller between the host's USB serial port
// and the DMX line. It takes the host's messages (link/usbpro/widget_message.h), puts label 7 and
// label 11 requests on its line with its own break (176 us) and mark-after-break (12 us) at
// 250000 baud, and hands back what the fixtures answer as label 5 messages, each when the
// reply's last byte is through: an RDM response without its break, from the start code on; a
// discovery answer from its preamble on, the answers of several fixtures colliding byte by byte
// (a driven 0 wins). A discovery request that nobody answers gets label 12 once the answer's
// window is over. Label 10 gives the serial number, label 3 the parameters, at once.
//
// UsbProWidgetPort shows the widgets of a SimulatedLine (one per adapter, serving that
// adapter's fixtures) as the USB serial ports a UsbProDriver speaks to. The line's own faults
// (lost, corrupted or noisy replies, an adapter's packets) do not apply behind the widget; the
// fixtures' do (slow, reset in erase, a second fixture), and so does an adapter pulled out.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "link/clock.h"
#include "link/d2xx_driver.h"
#include "link/usbpro/widget_message.h"
#include "sim/simulated_fixture.h"

namespace quillmont {

class SimulatedLine;

struct WidgetIdentity {
  std::array<uint8_t, 4> serial_bcd = {0x78, 0x56, 0x34, 0x12};  // 12345678
  uint16_t firmware = (1 << 8) | 44;                             // 1.44
};

// How a widget's firmware behaves where makers differ.
struct WidgetHabits {
  // Label 12 also when a label 7 request goes unanswered (current firmware); older firmware
  // sends it only for discovery requests, and says nothing at all otherwise.
  bool label12_for_requests = true;
  // Colliding discovery answers come with a status other than 0 (framing errors), as older
  // firmware reports them.
  bool collision_status = false;
  // The host-side rate of a clone whose USB side is a UART bridge; 0: any (a USB chip of its
  // own, which ignores the rate).
  uint32_t host_baud = 0;
  // A console's DMX is on the line: the widget hands over a packet of it (start code 0, 512
  // slots) every 23 ms.
  bool console_dmx = false;
};

// The widget of --sim-adapter widget, and the clone of widget-clone.
WidgetHabits WidgetHabitsOf(bool clone);
// The clone's fixed host-side rate.
inline constexpr uint32_t kSimCloneHostBaud = 115200;

// From the end of a discovery request, how long the widget listens for an answer.
inline constexpr uint64_t kWidgetDiscoveryWindowMicros = 5800;

class UsbProWidget {
 public:
  // The fixtures stay the caller's; they must outlive the widget.
  UsbProWidget(Clock& clock, std::vector<SimulatedFixture*> fixtures, WidgetIdentity identity = {},
               WidgetHabits habits = {});

  // Takes bytes the host wrote, at the clock's time now.
  void FromHost(const uint8_t* bytes, size_t count);
  // The messages due by the clock's time now, in the order they fall due.
  std::vector<uint8_t> TakeDue();
  // When the next message falls due, if one is waiting.
  std::optional<uint64_t> NextDueMicros() const;
  // The host let go: a half message and the answers not yet handed over are forgotten.
  void Reset();

  uint64_t requests() const { return requests_; }
  uint64_t dmx_packets() const { return dmx_packets_; }
  const WidgetHabits& habits() const { return habits_; }
  const usbpro::MessageParser& parser() const { return parser_; }

 private:
  void OnMessage(uint8_t label, std::span<const uint8_t> data, uint64_t now);
  void SendOnLine(std::span<const uint8_t> frame, bool discovery, uint64_t now);
  void Queue(uint64_t due_micros, uint8_t label, std::span<const uint8_t> data);

  struct Due {
    uint64_t at_micros;
    std::vector<uint8_t> message;
  };

  void QueueConsoleDmx(uint64_t now);

  Clock& clock_;
  std::vector<SimulatedFixture*> fixtures_;
  WidgetIdentity identity_;
  WidgetHabits habits_;
  usbpro::MessageParser parser_;
  std::deque<Due> due_;  // in time order
  uint64_t requests_ = 0;
  uint64_t next_dmx_micros_ = 0;
  uint64_t dmx_packets_ = 0;
};

class UsbProWidgetPort final : public D2xxDriver {
 public:
  UsbProWidgetPort(SimulatedLine& line, Clock& clock, WidgetHabits habits = {})
      : line_(line), clock_(clock), habits_(habits) {}

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
  // Sleeps until the widget's next message falls due, or the time-out.
  FT_STATUS WaitReadable(FT_HANDLE handle, uint64_t timeout_micros) override;
  AdapterFacts Facts(FT_HANDLE handle) override;

  // The widget behind an open port; null for an unknown handle.
  const UsbProWidget* widget(FT_HANDLE handle);

 private:
  struct Port {
    int adapter;
    std::unique_ptr<UsbProWidget> widget;
    std::deque<uint8_t> to_host;
    uint32_t host_baud = 250000;  // the rate the host set on the port
  };
  Port* Find(FT_HANDLE handle);
  // Takes the messages that fell due to the host's side of the port. False when the widget's
  // adapter was pulled out.
  bool Collect(Port& port);
  // Whether the host talks at the rate the widget needs; otherwise every byte is garbled.
  bool RateMatches(const Port& port) const;

  SimulatedLine& line_;
  Clock& clock_;
  WidgetHabits habits_;
  std::vector<std::unique_ptr<Port>> ports_;
};

// Widget `index`'s serial number in BCD: 00190000 plus the index.
WidgetIdentity SimWidgetIdentity(int index);

}  // namespace quillmont
