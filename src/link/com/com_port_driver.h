// SPDX-License-Identifier: Apache-2.0
// A D2xxDriver over Windows communications ports: USB-to-RS485 adapters that appear as COM
// ports (FTDI's virtual COM port driver, CDC-ACM adapters), for machines without the vendor's
// D2XX library or for adapters of other makers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/com/com_device.h"
#include "link/d2xx_driver.h"
#include "link/port_table_driver.h"
#include "link/timing/timer_resolution.h"

namespace quillmont::com {

struct ComPortOptions {
  // When not empty, these ports (COM3, \\.\COM12, ...), in this order, replace the ports the
  // system lists.
  std::vector<std::string> ports;
  // The adapter's driver enable is switched by RTS: raised for the break and the frame,
  // lowered once the frame has left the port.
  bool rts_direction = false;
};

// The number FT_GetLibraryVersion gives for this layer (1.0.0 in the library's layout).
inline constexpr uint32_t kComLayerVersion = 0x00010000;
// The rate a port runs at from FT_Open until FT_SetBaudRate: DMX512's.
inline constexpr uint32_t kDefaultBaud = 250000;

// One open port. Its address is the handle; the system's handle never leaves the driver and is
// closed with the port.
class ComPort {
 public:
  ComPort(ComHandle system_handle, std::string name)
      : system_handle_(system_handle), name_(std::move(name)) {}
  ~ComPort();
  ComPort(const ComPort&) = delete;
  ComPort& operator=(const ComPort&) = delete;

  ComHandle system_handle() const { return system_handle_; }
  const std::string& name() const { return name_; }

  uint32_t baud = kDefaultBaud;
  // A byte the wait for input took from the port, handed out before any other.
  std::optional<uint8_t> lookahead;
  std::optional<uint32_t> latency_ms;  // FTDI's virtual COM port driver's, from the registry
  std::vector<std::string> notes;

 private:
  ComHandle system_handle_;
  std::string name_;
  FineTimerResolution timer_resolution_;  // 1 ms while the port is open
};

class ComPortDriver final : public PortTableDriver<ComPort> {
 public:
  explicit ComPortDriver(ComPortOptions options = {});

  // The ports FT_Open numbers from 0: the named ports (each once), whose open tells whether
  // they are there, or the DMX/RDM adapters' ports that the system lists now.
  std::vector<std::string> PortNames() const;
  // What was named as a port and is no port name.
  std::vector<std::string> AbsentPorts() const;

 private:
  std::vector<std::string> DeviceNames() const override { return PortNames(); }
  FT_STATUS OpenDevice(const std::string& name, std::unique_ptr<ComPort>* port,
                       std::string* why) override;
  FT_STATUS SetPortBaud(ComPort& port, uint32_t baud, uint32_t* actual) override;
  FT_STATUS SetPortBreak(ComPort& port, bool on) override;
  FT_STATUS WritePort(ComPort& port, const uint8_t* bytes, uint32_t count, uint32_t* sent) override;
  FT_STATUS PortQueues(ComPort& port, uint32_t* rx, uint32_t* tx) override;
  FT_STATUS ReadPort(ComPort& port, uint8_t* buffer, uint32_t count, uint32_t* got) override;
  FT_STATUS PortModemStatus(ComPort& port, uint32_t* value) override;
  FT_STATUS WaitPortReadable(ComPort& port, uint64_t micros) override;
  AdapterFacts PortFacts(ComPort& port) override;
  void BaudAccepted(ComPort& port, uint32_t actual) override { port.baud = actual; }

  ComPortOptions options_;
};

}  // namespace quillmont::com
