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

// From the end of a discovery request, how long the widget listens for an answer.
inline constexpr uint64_t kWidgetDiscoveryWindowMicros = 5800;

class UsbProWidget {
 public:
  // The fixtures stay the caller's; they must outlive the widget.
  UsbProWidget(Clock& clock, std::vector<SimulatedFixture*> fixtures, WidgetIdentity identity = {});

  // Takes bytes the host wrote, at the clock's time now.
  void FromHost(const uint8_t* bytes, size_t count);
  // The messages due by the clock's time now, in the order they fall due.
  std::vector<uint8_t> TakeDue();
  // When the next message falls due, if one is waiting.
  std::optional<uint64_t> NextDueMicros() const;
  // The host let go: a half message and the answers not yet handed over are forgotten.
  void Reset();

  uint64_t requests() const { return requests_; }
  const usbpro::MessageParser& parser() const { return parser_; }

 private:
  void OnMessage(uint8_t label, std::span<const uint8_t> data, uint64_t now);
  void SendOnLine(std::span<const uint8_t> frame, bool discovery, uint64_t now);
  void Queue(uint64_t due_micros, uint8_t label, std::span<const uint8_t> data);

  struct Due {
    uint64_t at_micros;
    std::vector<uint8_t> message;
  };

  Clock& clock_;
  std::vector<SimulatedFixture*> fixtures_;
  WidgetIdentity identity_;
  usbpro::MessageParser parser_;
  std::deque<Due> due_;  // in time order
  uint64_t requests_ = 0;
};

class UsbProWidgetPort final : public D2xxDriver {
 public:
  UsbProWidgetPort(SimulatedLine& line, Clock& clock) : line_(line), clock_(clock) {}

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

 private:
  struct Port {
    int adapter;
    std::unique_ptr<UsbProWidget> widget;
    std::deque<uint8_t> to_host;
  };
  Port* Find(FT_HANDLE handle);

  SimulatedLine& line_;
  Clock& clock_;
  std::vector<std::unique_ptr<Port>> ports_;
};

// Widget `index`'s serial number in BCD: 00190000 plus the index.
WidgetIdentity SimWidgetIdentity(int index);

}  // namespace quillmont
