// SPDX-License-Identifier: Apache-2.0
#include "link/com/com_port_driver.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "link/com/com_port_names.h"

namespace quillmont::com {

ComPort::~ComPort() {
  CloseComPort(system_handle_);
}

namespace {

// A latency timer above this, read from the registry, is told to the user.
constexpr uint32_t kHighLatencyTimerMs = 2;

}  // namespace

ComPortDriver::ComPortDriver(ComPortOptions options)
    : PortTableDriver(kComLayerVersion), options_(std::move(options)) {}

std::vector<std::string> ComPortDriver::PortNames() const {
  if (options_.ports.empty()) {
    return ListComPorts();
  }
  // Every named port is counted and its open decides: the system's table of DOS devices does
  // not hold every port that opens (under Wine a COM port is a link in the prefix's dosdevices
  // folder), and opening a port just to look would toggle its modem lines. A port that is not
  // there fails its open with "no such device".
  // A port named twice (COM3 and \\.\COM3) is counted once, where it is first named.
  std::vector<std::string> named;
  for (const std::string& text : options_.ports) {
    const std::string name = ComPortName(text);
    if (!name.empty() && std::find(named.begin(), named.end(), name) == named.end()) {
      named.push_back(name);
    }
  }
  return named;
}

std::vector<std::string> ComPortDriver::AbsentPorts() const {
  std::vector<std::string> absent;
  for (const std::string& text : options_.ports) {
    if (ComPortName(text).empty() &&
        std::find(absent.begin(), absent.end(), text) == absent.end()) {
      absent.push_back(text);
    }
  }
  return absent;
}

FT_STATUS ComPortDriver::OpenDevice(const std::string& name, std::unique_ptr<ComPort>* port,
                                    std::string* why) {
  ComHandle system_handle = nullptr;
  std::string reason;
  if (const FT_STATUS status = OpenComPort(name, kDefaultBaud, &system_handle, &reason);
      status != FT_OK) {
    *why = name + ": " + reason;
    return status;
  }
  auto opened = std::make_unique<ComPort>(system_handle, name);
  opened->latency_ms = ComLatencyTimer(name);
  if (opened->latency_ms && *opened->latency_ms > kHighLatencyTimerMs) {
    opened->notes.push_back(
        name + ": the FTDI driver's latency timer is " + std::to_string(*opened->latency_ms) +
        " ms, so every reply comes late; set it to 1 ms in the Device Manager (the port's "
        "Properties, Port Settings, Advanced, Latency Timer)");
  }
  if (options_.rts_direction) {
    SetComRts(system_handle, false);  // listening until the first break
  }
  *port = std::move(opened);
  return FT_OK;
}

FT_STATUS ComPortDriver::SetPortBaud(ComPort& port, uint32_t baud, uint32_t* actual) {
  port.lookahead.reset();  // a byte at the old rate means nothing at the new one
  return SetComBaud(port.system_handle(), baud, actual);
}

FT_STATUS ComPortDriver::SetPortBreak(ComPort& port, bool on) {
  if (on && options_.rts_direction) {
    SetComRts(port.system_handle(), true);  // the driver enabled for the break and the frame
  }
  return SetComBreak(port.system_handle(), on);
}

FT_STATUS ComPortDriver::WritePort(ComPort& port, const uint8_t* bytes, uint32_t count,
                                   uint32_t* sent) {
  // The write returns once the frame has left the port: then the line turns round.
  const FT_STATUS status = WriteCom(port.system_handle(), bytes, count, port.baud, sent);
  if (options_.rts_direction) {
    SetComRts(port.system_handle(), false);
  }
  return status;
}

FT_STATUS ComPortDriver::PortQueues(ComPort& port, uint32_t* rx, uint32_t* tx) {
  const FT_STATUS status = ComQueues(port.system_handle(), rx, tx);
  if (status == FT_OK && port.lookahead) {
    ++*rx;
  }
  return status;
}

FT_STATUS ComPortDriver::ReadPort(ComPort& port, uint8_t* buffer, uint32_t count, uint32_t* got) {
  *got = 0;
  if (count > 0 && port.lookahead) {
    buffer[0] = *port.lookahead;
    port.lookahead.reset();
    *got = 1;
    ++buffer;
    --count;
  }
  uint32_t more = 0;
  const FT_STATUS status = ReadCom(port.system_handle(), buffer, count, &more);
  *got += more;
  return status;
}

FT_STATUS ComPortDriver::WaitPortReadable(ComPort& port, uint64_t micros) {
  if (port.lookahead) {
    return FT_OK;
  }
  uint8_t byte = 0;
  bool got = false;
  const auto ms = static_cast<uint32_t>(std::min<uint64_t>((micros + 999) / 1000, 60'000));
  const FT_STATUS status = WaitComByte(port.system_handle(), ms, port.baud, &byte, &got);
  if (got) {
    port.lookahead = byte;
  }
  return status;
}

AdapterFacts ComPortDriver::PortFacts(ComPort& port) {
  AdapterFacts facts;
  facts.port = port.name();
  facts.backend = "COM port";
  facts.latency_timer_ms = port.latency_ms;
  facts.baud = port.baud;
  facts.rts_direction = options_.rts_direction;
  facts.notes = port.notes;
  return facts;
}

FT_STATUS ComPortDriver::PortModemStatus(ComPort& port, uint32_t* value) {
  return ComModemStatus(port.system_handle(), value);
}

}  // namespace quillmont::com
