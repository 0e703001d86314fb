#include "link/serial/serial_driver.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>

#include "link/serial/device_list.h"
#include "link/serial/tty_device.h"

namespace quillmont::serial {
namespace {

// A UART keeps its frames within about 3 % of baud-rate error; a rate the adapter can only
// approximate worse than that would garble every frame.
constexpr uint64_t kBaudTolerancePercent = 3;
constexpr uint64_t kBitsPerByte = 11;  // start, 8 data, 2 stop

FT_STATUS FromErrno(int err) {
  switch (err) {
    case 0:
      return FT_OK;
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return FT_DEVICE_NOT_FOUND;
    case ENOMEM:
    case ENOSPC:
      return FT_INSUFFICIENT_RESOURCES;
    default:
      return FT_IO_ERROR;
  }
}

// Twice the frame's time on the wire, plus room for the kernel and the USB round trip.
int WriteTimeoutMs(uint32_t count, uint32_t baud, uint32_t slack_ms) {
  const uint64_t wire_ms = static_cast<uint64_t>(count) * kBitsPerByte * 1000 / std::max(baud, 1u);
  return static_cast<int>(std::min<uint64_t>(slack_ms + 2 * wire_ms, 60'000));
}

}  // namespace

TtyPort::~TtyPort() {
  CloseTty(fd_);
}

SerialDriver::SerialDriver(SerialOptions options)
    : PortTableDriver(kSerialLayerVersion), options_(std::move(options)) {}

std::vector<std::string> SerialDriver::DevicePaths() const {
  if (options_.ports.empty()) {
    return ScanUsbSerialDevices(options_.sysfs_root, options_.dev_root);
  }
  // A named adapter that is unplugged is not counted, so the search waits quietly for it.
  std::vector<std::string> present;
  for (const std::string& path : options_.ports) {
    if (PathExists(path)) {
      present.push_back(path);
    }
  }
  return present;
}

FT_STATUS SerialDriver::OpenDevice(const std::string& path, std::unique_ptr<TtyPort>* port) {
  int fd = -1;
  const int err = OpenTty(path, kDefaultBaud, &fd);
  if (err != 0) {
    return err == ENOENT ? FT_DEVICE_NOT_FOUND : FT_DEVICE_NOT_OPENED;
  }
  *port = std::make_unique<TtyPort>(fd);
  return FT_OK;
}

FT_STATUS SerialDriver::FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) {
  TtyPort* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (baud == 0) {
    return FT_INVALID_BAUD_RATE;  // rate 0 would hang the line up
  }
  uint32_t actual = 0;
  if (const int err = SetTtyBaud(port->fd(), baud, &actual); err != 0) {
    return err == EINVAL ? FT_INVALID_BAUD_RATE : FromErrno(err);
  }
  const uint64_t deviation = actual > baud ? actual - baud : baud - actual;
  if (deviation * 100 > static_cast<uint64_t>(baud) * kBaudTolerancePercent) {
    return FT_INVALID_BAUD_RATE;
  }
  port->set_baud(actual);
  return FT_OK;
}

FT_STATUS SerialDriver::FT_SetBreakOn(FT_HANDLE handle) {
  TtyPort* port = Find(handle);
  return port == nullptr ? FT_INVALID_HANDLE : FromErrno(SetTtyBreak(port->fd(), true));
}

FT_STATUS SerialDriver::FT_SetBreakOff(FT_HANDLE handle) {
  TtyPort* port = Find(handle);
  return port == nullptr ? FT_INVALID_HANDLE : FromErrno(SetTtyBreak(port->fd(), false));
}

FT_STATUS SerialDriver::FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                                 uint32_t* written) {
  TtyPort* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (bytes == nullptr && count > 0) {
    return FT_INVALID_PARAMETER;
  }
  uint32_t sent = 0;
  const int err = WriteTty(port->fd(), static_cast<const uint8_t*>(bytes), count,
                           WriteTimeoutMs(count, port->baud(), options_.write_slack_ms), &sent);
  if (written != nullptr) {
    *written = sent;
  }
  return FromErrno(err);
}

FT_STATUS SerialDriver::FT_GetStatus(FT_HANDLE handle, uint32_t* rx_waiting, uint32_t* tx_waiting,
                                     uint32_t* event_state) {
  TtyPort* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  uint32_t rx = 0;
  uint32_t tx = 0;
  if (const int err = TtyBytesWaiting(port->fd(), &rx); err != 0) {
    return FromErrno(err);
  }
  if (const int err = TtyBytesQueued(port->fd(), &tx); err != 0) {
    return FromErrno(err);
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

FT_STATUS SerialDriver::FT_Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* read) {
  TtyPort* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  if (buffer == nullptr && count > 0) {
    return FT_INVALID_PARAMETER;
  }
  uint32_t got = 0;
  const int err = ReadTty(port->fd(), static_cast<uint8_t*>(buffer), count, &got);
  if (read != nullptr) {
    *read = got;
  }
  return FromErrno(err);
}

FT_STATUS SerialDriver::FT_GetModemStatus(FT_HANDLE handle, uint32_t* modem_status) {
  TtyPort* port = Find(handle);
  if (port == nullptr) {
    return FT_INVALID_HANDLE;
  }
  uint32_t value = 0;
  if (const int err = TtyModemStatus(port->fd(), &value); err != 0) {
    return FromErrno(err);
  }
  if (modem_status != nullptr) {
    *modem_status = value;
  }
  return FT_OK;
}

}  // namespace quillmont::serial
