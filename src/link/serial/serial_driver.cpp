#include "link/serial/serial_driver.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "link/serial/device_list.h"
#include "link/serial/tty_device.h"

namespace quillmont::serial {
namespace {

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

// The device behind a path, for telling two names of one device apart: the target of every
// link, or the path itself when it cannot be resolved.
std::string DeviceIdentity(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path resolved = std::filesystem::canonical(path, ec);
  return ec ? path : resolved.string();
}

}  // namespace

std::string OpenErrorText(const std::string& path, int err) {
  switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return path + ": no such device";
    case ENOTTY:
    case EISDIR:
    case ENOTDIR:
      return path + ": not a terminal";
    case EACCES:
    case EPERM:
      return path +
             ": permission denied; add yourself to the dialout group (sudo adduser $USER "
             "dialout, then log in again) or install Quillmont's udev rule "
             "(60-quillmont.rules)";
    case EBUSY:
      return path + ": busy; another program is using it";
    default:
      return path + ": " + std::strerror(err);
  }
}

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
  std::vector<std::string> devices;
  for (const std::string& path : options_.ports) {
    if (!PathExists(path)) {
      continue;
    }
    std::string device = DeviceIdentity(path);
    if (std::find(devices.begin(), devices.end(), device) == devices.end()) {
      devices.push_back(std::move(device));
      present.push_back(path);
    }
  }
  return present;
}

std::vector<std::string> SerialDriver::AbsentPorts() const {
  std::vector<std::string> absent;
  for (const std::string& path : options_.ports) {
    if (!PathExists(path) && std::find(absent.begin(), absent.end(), path) == absent.end()) {
      absent.push_back(path);
    }
  }
  return absent;
}

FT_STATUS SerialDriver::OpenDevice(const std::string& path, std::unique_ptr<TtyPort>* port,
                                   std::string* why) {
  int fd = -1;
  const int err = OpenTty(path, kDefaultBaud, &fd);
  if (err != 0) {
    *why = OpenErrorText(path, err);
    return err == ENOENT ? FT_DEVICE_NOT_FOUND : FT_DEVICE_NOT_OPENED;
  }
  *port = std::make_unique<TtyPort>(fd);
  return FT_OK;
}

FT_STATUS SerialDriver::SetPortBaud(TtyPort& port, uint32_t baud, uint32_t* actual) {
  if (const int err = SetTtyBaud(port.fd(), baud, actual); err != 0) {
    return err == EINVAL ? FT_INVALID_BAUD_RATE : FromErrno(err);
  }
  return FT_OK;
}

FT_STATUS SerialDriver::SetPortBreak(TtyPort& port, bool on) {
  return FromErrno(SetTtyBreak(port.fd(), on));
}

FT_STATUS SerialDriver::WritePort(TtyPort& port, const uint8_t* bytes, uint32_t count,
                                  uint32_t* sent) {
  return FromErrno(WriteTty(port.fd(), bytes, count,
                            WriteTimeoutMs(count, port.baud(), options_.write_slack_ms), sent));
}

FT_STATUS SerialDriver::PortQueues(TtyPort& port, uint32_t* rx, uint32_t* tx) {
  if (const int err = TtyBytesWaiting(port.fd(), rx); err != 0) {
    return FromErrno(err);
  }
  return FromErrno(TtyBytesQueued(port.fd(), tx));
}

FT_STATUS SerialDriver::ReadPort(TtyPort& port, uint8_t* buffer, uint32_t count, uint32_t* got) {
  return FromErrno(ReadTty(port.fd(), buffer, count, got));
}

FT_STATUS SerialDriver::PortModemStatus(TtyPort& port, uint32_t* value) {
  return FromErrno(TtyModemStatus(port.fd(), value));
}

}  // namespace quillmont::serial
