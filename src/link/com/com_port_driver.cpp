#include "link/com/com_port_driver.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "link/com/com_port_names.h"

namespace quillmont::com {

ComPort::~ComPort() {
  CloseComPort(system_handle_);
}

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
  *port = std::make_unique<ComPort>(system_handle);
  return FT_OK;
}

FT_STATUS ComPortDriver::SetPortBaud(ComPort& port, uint32_t baud, uint32_t* actual) {
  return SetComBaud(port.system_handle(), baud, actual);
}

FT_STATUS ComPortDriver::SetPortBreak(ComPort& port, bool on) {
  return SetComBreak(port.system_handle(), on);
}

FT_STATUS ComPortDriver::WritePort(ComPort& port, const uint8_t* bytes, uint32_t count,
                                   uint32_t* sent) {
  return WriteCom(port.system_handle(), bytes, count, sent);
}

FT_STATUS ComPortDriver::PortQueues(ComPort& port, uint32_t* rx, uint32_t* tx) {
  return ComQueues(port.system_handle(), rx, tx);
}

FT_STATUS ComPortDriver::ReadPort(ComPort& port, uint8_t* buffer, uint32_t count, uint32_t* got) {
  return ReadCom(port.system_handle(), buffer, count, got);
}

FT_STATUS ComPortDriver::PortModemStatus(ComPort& port, uint32_t* value) {
  return ComModemStatus(port.system_handle(), value);
}

}  // namespace quillmont::com
