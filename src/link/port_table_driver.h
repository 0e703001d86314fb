// The part of a D2xxDriver over operating-system serial devices that does not depend on the
// system: the table of open ports, the device list numbered from 0, opening one device once and
// closing it. A backend names its devices, opens one, and does the line work on its own Port.
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
    const std::vector<std::string> names = DeviceNames();
    if (index < 0 || static_cast<size_t>(index) >= names.size()) {
      return FT_DEVICE_NOT_FOUND;
    }
    const std::string& name = names[static_cast<size_t>(index)];
    const bool already_open = std::any_of(ports_.begin(), ports_.end(),
                                          [&](const auto& entry) { return entry.name == name; });
    if (already_open) {
      return FT_DEVICE_NOT_OPENED;
    }
    std::unique_ptr<Port> port;
    if (const FT_STATUS status = OpenDevice(name, &port); status != FT_OK) {
      return status;
    }
    if (port == nullptr) {
      return FT_DEVICE_NOT_OPENED;  // a backend that says FT_OK without a port opened nothing
    }
    ports_.push_back(Entry{name, std::move(port)});
    *handle = ports_.back().port.get();
    return FT_OK;
  }

  FT_STATUS FT_Close(FT_HANDLE handle) final {
    Port* port = Find(handle);
    if (port == nullptr) {
      return FT_INVALID_HANDLE;
    }
    std::erase_if(ports_, [&](const Entry& entry) { return entry.port.get() == port; });
    return FT_OK;
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
  // status nothing is left open.
  virtual FT_STATUS OpenDevice(const std::string& name, std::unique_ptr<Port>* port) = 0;

  struct Entry {
    std::string name;
    std::unique_ptr<Port> port;
  };

  uint32_t layer_version_;
  std::vector<Entry> ports_;
};

}  // namespace quillmont
