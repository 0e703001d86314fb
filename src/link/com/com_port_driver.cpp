#include "link/com/com_port_driver.h"

#include <memory>
#include <utility>

#include "link/com/com_port_names.h"

namespace quillmont::com {
namespace {

// A UART keeps its frames within about 3 % of baud-rate error; a rate the port can only
// approximate worse than that would garble every frame.
constexpr uint64_t kBaudTolerancePercent = 3;

}  // namespace

ComPort::~ComPort() {
  CloseComPort(system_handle_);
}

ComPortDriver::ComPortDriver(ComPortOptions options)
    : PortTableDriver(kComLayerVersion), options_(std::move(options)) {}

std::vector<std::string> ComPortDriver::PortNames() const {
  if (options_.ports.empty()) {
    return ListComPorts();
  }
  // A named port that is not there (unplugged, or no port at all) is not counted, so the
  // search waits quietly for it.
  std::vector<std::string> present;
  for (const std::string& text : options_.ports) {
    const std::string name = ComPortName(text);
    if (!name.empty() && ComPortExists(name)) {
      present.push_back(name);
    }
  }
  return present;
}

FT_STATUS ComPortDriver::OpenDevice(const std::string& name, std::unique_ptr<ComPort>* port) {
  ComHandle system_handle = nullptr;
  if (const FT_STATUS status = OpenComPort(name, kDefaultBaud, &system_handle); status != FT_OK) {
    return status;
  }
  *port = std::make_unique<ComPort>(system_handle);
  return FT_OK;
}

FT_STATUS ComPortDriver::FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) {
  ComPort* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (baud == 0) {
    return FT_INVALID_BAUD_RATE;
  }
  uint32_t actual = 0;
  if (const FT_STATUS status = SetComBaud(port->system_handle(), baud, &actual); status != FT_OK) {
    return status;
  }
  const uint64_t deviation = actual > baud ? actual - baud : baud - actual;
  if (deviation * 100 > static_cast<uint64_t>(baud) * kBaudTolerancePercent) {
    return FT_INVALID_BAUD_RATE;
  }
  return FT_OK;
}

FT_STATUS ComPortDriver::FT_SetBreakOn(FT_HANDLE handle) {
  ComPort* port = Find(handle);
  return port == nullptr ? FT_INVALID_HANDLE : SetComBreak(port->system_handle(), true);
}

FT_STATUS ComPortDriver::FT_SetBreakOff(FT_HANDLE handle) {
  ComPort* port = Find(handle);
  return port == nullptr ? FT_INVALID_HANDLE : SetComBreak(port->system_handle(), false);
}

FT_STATUS ComPortDriver::FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                                  uint32_t* written) {
  ComPort* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (bytes == nullptr && count > 0) {
    return FT_INVALID_PARAMETER;
  }
  uint32_t sent = 0;
  const FT_STATUS status =
      WriteCom(port->system_handle(), static_cast<const uint8_t*>(bytes), count, &sent);
  if (written != nullptr) {
    *written = sent;
  }
  return status;
}

FT_STATUS ComPortDriver::FT_GetStatus(FT_HANDLE handle, uint32_t* rx_waiting, uint32_t* tx_waiting,
                                      uint32_t* event_state) {
  ComPort* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  uint32_t rx = 0;
  uint32_t tx = 0;
  if (const FT_STATUS status = ComQueues(port->system_handle(), &rx, &tx); status != FT_OK) {
    return status;
  }
  if (rx_waiting != nullptr) {
    *rx_waiting = rx;
  }
  if (tx_waiting != nullptr) {
    *tx_waiting = tx;
  }
  if (event_state != nullptr) {
    *event_state = 0;
  }
  return FT_OK;
}

FT_STATUS ComPortDriver::FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* read) {
  ComPort* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (buffer == nullptr && count > 0) {
    return FT_INVALID_PARAMETER;
  }
  uint32_t got = 0;
  const FT_STATUS status =
      ReadCom(port->system_handle(), static_cast<uint8_t*>(buffer), count, &got);
  if (read != nullptr) {
    *read = got;
  }
  return status;
}

FT_STATUS ComPortDriver::FT_GetModemStatus(FT_HANDLE handle, uint32_t* modem_status) {
  ComPort* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  uint32_t value = 0;
  if (const FT_STATUS status = ComModemStatus(port->system_handle(), &value); status != FT_OK) {
    return status;
  }
  if (modem_status != nullptr) {
    *modem_status = value;
  }
  return FT_OK;
}

}  // namespace quillmont::com
