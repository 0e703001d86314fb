#include "link/com/com_port_driver.h"

#include <algorithm>
#include <utility>

#include "link/com/com_port_names.h"

namespace quillmont::com {
namespace {

// A UART keeps its frames within about 3 % of baud-rate error; a rate the port can only
// approximate worse than that would garble every frame.
constexpr uint64_t kBaudTolerancePercent = 3;

}  // namespace

ComPortDriver::ComPortDriver(ComPortOptions options) : options_(std::move(options)) {}

ComPortDriver::~ComPortDriver() {
  for (const auto& port : ports_) {
    CloseComPort(port->system_handle);
  }
}

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

ComPortDriver::Port* ComPortDriver::Find(FT_HANDLE handle) const {
  if (handle == nullptr) {
    return nullptr;
  }
  for (const auto& port : ports_) {
    if (static_cast<FT_HANDLE>(port.get()) == handle) {
      return port.get();
    }
  }
  return nullptr;
}

FT_STATUS ComPortDriver::FT_CreateDeviceInfoList(uint32_t* count) {
  if (count == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  *count = static_cast<uint32_t>(PortNames().size());
  return FT_OK;
}

FT_STATUS ComPortDriver::FT_GetLibraryVersion(uint32_t* version) {
  if (version == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  *version = kComLayerVersion;
  return FT_OK;
}

FT_STATUS ComPortDriver::FT_Open(int index, FT_HANDLE* handle) {
  if (handle == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  *handle = nullptr;
  const std::vector<std::string> names = PortNames();
  if (index < 0 || static_cast<size_t>(index) >= names.size()) {
    return FT_DEVICE_NOT_FOUND;
  }
  const std::string& name = names[static_cast<size_t>(index)];
  const bool already_open = std::any_of(ports_.begin(), ports_.end(),
                                        [&](const auto& port) { return port->name == name; });
  if (already_open) {
    return FT_DEVICE_NOT_OPENED;
  }
  ComHandle system_handle = nullptr;
  if (const FT_STATUS status = OpenComPort(name, kDefaultBaud, &system_handle); status != FT_OK) {
    return status;
  }
  ports_.push_back(std::make_unique<Port>(Port{system_handle, name}));
  *handle = ports_.back().get();
  return FT_OK;
}

FT_STATUS ComPortDriver::FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) {
  Port* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (baud == 0) {
    return FT_INVALID_BAUD_RATE;
  }
  uint32_t actual = 0;
  if (const FT_STATUS status = SetComBaud(port->system_handle, baud, &actual); status != FT_OK) {
    return status;
  }
  const uint64_t deviation = actual > baud ? actual - baud : baud - actual;
  if (deviation * 100 > static_cast<uint64_t>(baud) * kBaudTolerancePercent) {
    return FT_INVALID_BAUD_RATE;
  }
  return FT_OK;
}

FT_STATUS ComPortDriver::FT_SetBreakOn(FT_HANDLE handle) {
  Port* port = Find(handle);
  return port == nullptr ? FT_INVALID_HANDLE : SetComBreak(port->system_handle, true);
}

FT_STATUS ComPortDriver::FT_SetBreakOff(FT_HANDLE handle) {
  Port* port = Find(handle);
  return port == nullptr ? FT_INVALID_HANDLE : SetComBreak(port->system_handle, false);
}

FT_STATUS ComPortDriver::FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                                  uint32_t* written) {
  Port* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (bytes == nullptr && count > 0) {
    return FT_INVALID_PARAMETER;
  }
  uint32_t sent = 0;
  const FT_STATUS status =
      WriteCom(port->system_handle, static_cast<const uint8_t*>(bytes), count, &sent);
  if (written != nullptr) {
    *written = sent;
  }
  return status;
}

FT_STATUS ComPortDriver::FT_GetStatus(FT_HANDLE handle, uint32_t* rx_waiting, uint32_t* tx_waiting,
                                      uint32_t* event_state) {
  Port* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  uint32_t rx = 0;
  uint32_t tx = 0;
  if (const FT_STATUS status = ComQueues(port->system_handle, &rx, &tx); status != FT_OK) {
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
  Port* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (buffer == nullptr && count > 0) {
    return FT_INVALID_PARAMETER;
  }
  uint32_t got = 0;
  const FT_STATUS status = ReadCom(port->system_handle, static_cast<uint8_t*>(buffer), count, &got);
  if (read != nullptr) {
    *read = got;
  }
  return status;
}

FT_STATUS ComPortDriver::FT_GetModemStatus(FT_HANDLE handle, uint32_t* modem_status) {
  Port* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  uint32_t value = 0;
  if (const FT_STATUS status = ComModemStatus(port->system_handle, &value); status != FT_OK) {
    return status;
  }
  if (modem_status != nullptr) {
    *modem_status = value;
  }
  return FT_OK;
}

FT_STATUS ComPortDriver::FT_Close(FT_HANDLE handle) {
  Port* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  CloseComPort(port->system_handle);
  std::erase_if(ports_, [&](const auto& p) { return p.get() == port; });
  return FT_OK;
}

}  // namespace quillmont::com
