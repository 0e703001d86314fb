// SPDX-License-Identifier: Apache-2.0
// The part of a D2xxDriver over operating-system serial devices that does not depend on the
// system: the table of open ports, the device list numbered from 0, opening one device once and
// closing it, and the driver operations themselves (handle lookup, parameter checks, the baud
// rate tolerance, the out-parameters). A backend names its devices, opens one, and does the
// line work on its own Port through a few narrow port operations.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/d2xx_driver.h"

namespace quillmont {

// Port is the backend's open device. It owns what the system gave it: its destructor closes the
// device, so a port leaves the table (FT_Close, or the driver going away) closed.
// A UART keeps its frames within about 3 % of baud-rate error; a rate the port can only
// approximate worse than that would garble every frame.
inline constexpr uint64_t kBaudTolerancePercent = 3;

template <typename Port>
class PortTableDriver : public D2xxDriver {
 public:
  PortTableDriver(const PortTableDriver&) = delete;
  PortTableDriver& operator=(const PortTableDriver&) = delete;

  FT_STATUS FT_CreateDeviceInfoList(uint32_t* count) final {
    if (count == nullptr) {
      return FT_INVALID_PARAMETER;
    }
    *count = static_cast<uint32_t>(DeviceNames().size());
    return FT_OK;
  }

  FT_STATUS FT_GetLibraryVersion(uint32_t* version) final {
    if (version == nullptr) {
      return FT_INVALID_PARAMETER;
    }
    *version = layer_version_;
    return FT_OK;
  }

  // Opens the device at index in the list as it is now. A device this driver already has open
  // is refused, so two handles never share one line.
  FT_STATUS FT_Open(int index, FT_HANDLE* handle) final {
    if (handle == nullptr) {
      return FT_INVALID_PARAMETER;
    }
    *handle = nullptr;
    open_error_.clear();
    const std::vector<std::string> names = DeviceNames();
    if (index < 0 || static_cast<size_t>(index) >= names.size()) {
      open_error_ = "adapter " + std::to_string(index) + ": no such device";
      return FT_DEVICE_NOT_FOUND;
    }
    const std::string& name = names[static_cast<size_t>(index)];
    const bool already_open = std::any_of(ports_.begin(), ports_.end(),
                                          [&](const auto& entry) { return entry.name == name; });
    if (already_open) {
      open_error_ = name + ": already open";
      return FT_DEVICE_NOT_OPENED;
    }
    std::unique_ptr<Port> port;
    if (const FT_STATUS status = OpenDevice(name, &port, &open_error_); status != FT_OK) {
      if (open_error_.empty()) {
        open_error_ = name + ": cannot be opened";
      }
      return status;
    }
    if (port == nullptr) {
      return FT_DEVICE_NOT_OPENED;  // a backend that says FT_OK without a port opened nothing
    }
    ports_.push_back(Entry{name, std::move(port)});
    *handle = ports_.back().port.get();
    return FT_OK;
  }

  // Why the last FT_Open failed, for the user ("/dev/ttyUSB0: busy; ..."); empty when it opened.
  const std::string& open_error() const { return open_error_; }

  FT_STATUS FT_Close(FT_HANDLE handle) final {
    Port* port = Find(handle);
    if (port == nullptr) {
      return FT_INVALID_HANDLE;
    }
    std::erase_if(ports_, [&](const Entry& entry) { return entry.port.get() == port; });
    return FT_OK;
  }

  FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) final {
    Port* port = Find(handle);
    if (port == nullptr) {
      return FT_INVALID_HANDLE;
    }
    if (baud == 0) {
      return FT_INVALID_BAUD_RATE;  // rate 0 would hang the line up
    }
    uint32_t actual = 0;
    if (const FT_STATUS status = SetPortBaud(*port, baud, &actual); status != FT_OK) {
      return status;
    }
    const uint64_t deviation = actual > baud ? actual - baud : baud - actual;
    if (deviation * 100 > static_cast<uint64_t>(baud) * kBaudTolerancePercent) {
      return FT_INVALID_BAUD_RATE;
    }
    BaudAccepted(*port, actual);
    return FT_OK;
  }

  FT_STATUS FT_SetBreakOn(FT_HANDLE handle) final {
    Port* port = Find(handle);
    return port == nullptr ? FT_INVALID_HANDLE : SetPortBreak(*port, true);
  }

  FT_STATUS FT_SetBreakOff(FT_HANDLE handle) final {
    Port* port = Find(handle);
    return port == nullptr ? FT_INVALID_HANDLE : SetPortBreak(*port, false);
  }

  FT_STATUS FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count, uint32_t* written) final {
    Port* port = Find(handle);
    if (port == nullptr) {
      return FT_INVALID_HANDLE;
    }
    if (bytes == nullptr && count > 0) {
      return FT_INVALID_PARAMETER;
    }
    uint32_t sent = 0;
    const FT_STATUS status = WritePort(*port, static_cast<const uint8_t*>(bytes), count, &sent);
    if (written != nullptr) {
      *written = sent;
    }
    return status;
  }

  FT_STATUS FT_GetStatus(FT_HANDLE handle, uint32_t* rx_waiting, uint32_t* tx_waiting,
                         uint32_t* event_state) final {
    Port* port = Find(handle);
    if (port == nullptr) {
      return FT_INVALID_HANDLE;
    }
    uint32_t rx = 0;
    uint32_t tx = 0;
    if (const FT_STATUS status = PortQueues(*port, &rx, &tx); status != FT_OK) {
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

  FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* read) final {
    Port* port = Find(handle);
    if (port == nullptr) {
      return FT_INVALID_HANDLE;
    }
    if (buffer == nullptr && count > 0) {
      return FT_INVALID_PARAMETER;
    }
    uint32_t got = 0;
    const FT_STATUS status = ReadPort(*port, static_cast<uint8_t*>(buffer), count, &got);
    if (read != nullptr) {
      *read = got;
    }
    return status;
  }

  FT_STATUS FT_GetModemStatus(FT_HANDLE handle, uint32_t* modem_status) final {
    Port* port = Find(handle);
    if (port == nullptr) {
      return FT_INVALID_HANDLE;
    }
    uint32_t value = 0;
    if (const FT_STATUS status = PortModemStatus(*port, &value); status != FT_OK) {
      return status;
    }
    if (modem_status != nullptr) {
      *modem_status = value;
    }
    return FT_OK;
  }

  FT_STATUS WaitReadable(FT_HANDLE handle, uint64_t timeout_micros) final {
    Port* port = Find(handle);
    return port == nullptr ? FT_INVALID_HANDLE : WaitPortReadable(*port, timeout_micros);
  }

  AdapterFacts Facts(FT_HANDLE handle) final {
    Port* port = Find(handle);
    if (port == nullptr) {
      return {};
    }
    AdapterFacts facts = PortFacts(*port);
    for (const Entry& entry : ports_) {
      if (entry.port.get() == port && facts.port.empty()) {
        facts.port = entry.name;
      }
    }
    return facts;
  }

 protected:
  // layer_version is what FT_GetLibraryVersion gives, in the vendor library's layout.
  explicit PortTableDriver(uint32_t layer_version) : layer_version_(layer_version) {}
  ~PortTableDriver() override = default;

  // The open port behind handle, or null for a null or unknown handle. Handles are compared by
  // address only: an unknown one is never dereferenced.
  Port* Find(FT_HANDLE handle) const {
    if (handle == nullptr) {
      return nullptr;
    }
    for (const Entry& entry : ports_) {
      if (static_cast<FT_HANDLE>(entry.port.get()) == handle) {
        return entry.port.get();
      }
    }
    return nullptr;
  }

 private:
  // The devices FT_Open numbers from 0, as they are now.
  virtual std::vector<std::string> DeviceNames() const = 0;
  // Opens the named device at DMX512's rate. On FT_OK *port holds the open device; on any other
  // status nothing is left open and *why says why, naming the device.
  virtual FT_STATUS OpenDevice(const std::string& name, std::unique_ptr<Port>* port,
                               std::string* why) = 0;

  // The narrow port operations, each on an open port and with the system's answer turned into
  // a status. SetPortBaud gives the rate the port really runs at in *actual.
  virtual FT_STATUS SetPortBaud(Port& port, uint32_t baud, uint32_t* actual) = 0;
  virtual FT_STATUS SetPortBreak(Port& port, bool on) = 0;
  // Writes the whole frame or fails; *sent says how much went out either way.
  virtual FT_STATUS WritePort(Port& port, const uint8_t* bytes, uint32_t count, uint32_t* sent) = 0;
  // The bytes waiting to be read (*rx) and still queued for the line (*tx).
  virtual FT_STATUS PortQueues(Port& port, uint32_t* rx, uint32_t* tx) = 0;
  // Reads at most count bytes already waiting; *got says how many.
  virtual FT_STATUS ReadPort(Port& port, uint8_t* buffer, uint32_t count, uint32_t* got) = 0;
  virtual FT_STATUS PortModemStatus(Port& port, uint32_t* value) = 0;
  // Waits until bytes can be read or `micros` pass; FT_NOT_SUPPORTED without such a wait.
  virtual FT_STATUS WaitPortReadable(Port& port, uint64_t micros) {
    (void)port;
    (void)micros;
    return FT_NOT_SUPPORTED;
  }
  // What the backend knows of the open port.
  virtual AdapterFacts PortFacts(Port& port) {
    (void)port;
    return {};
  }
  // The port now runs at `actual`, close enough to the rate asked for.
  virtual void BaudAccepted(Port& port, uint32_t actual) {
    (void)port;
    (void)actual;
  }

  struct Entry {
    std::string name;
    std::unique_ptr<Port> port;
  };

  uint32_t layer_version_;
  std::vector<Entry> ports_;
  std::string open_error_;
};

}  // namespace quillmont
