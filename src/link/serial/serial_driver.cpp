// SPDX-License-Identifier: Apache-2.0
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

uint64_t WireMicros(uint64_t count, uint32_t baud) {
  return count * kBitsPerByte * 1'000'000 / std::max(baud, 1u);
}

// Where the driver cannot tell whether the chip's transmitter is empty, the frame's time on the
// wire is waited out, and this much more for the bytes' way over USB.
constexpr uint64_t kUsbLagMicros = 1000;
// How often the transmitter is looked at while it is still busy.
constexpr uint64_t kTransmitterLookMicros = 100;

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
    : PortTableDriver(kSerialLayerVersion),
      options_(std::move(options)),
      clock_(options_.clock != nullptr ? *options_.clock : system_clock_) {}

std::vector<std::string> SerialDriver::DevicePaths() const {
  if (options_.ports.empty()) {
    const std::vector<UsbSerialDevice> found =
        ListUsbSerialDevices(options_.sysfs_root, options_.dev_root);
    // A device set aside comes back once it is unplugged (it leaves the list) or plugged anew.
    std::erase_if(set_aside_, [&found](const auto& aside) {
      return std::none_of(found.begin(), found.end(), [&aside](const UsbSerialDevice& d) {
        return d.path == aside.first && d.plug == aside.second;
      });
    });
    std::vector<std::string> paths;
    for (const UsbSerialDevice& device : found) {
      const bool aside = std::any_of(set_aside_.begin(), set_aside_.end(),
                                     [&device](const auto& a) { return a.first == device.path; });
      if (!aside) {
        paths.push_back(device.path);
      }
    }
    return paths;
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

void SerialDriver::SetAside(const std::string& path) {
  if (!options_.ports.empty()) {
    return;  // a device the user named is the user's choice
  }
  for (const UsbSerialDevice& device :
       ListUsbSerialDevices(options_.sysfs_root, options_.dev_root)) {
    if (device.path == path && device.kind != usb::AdapterKind::kFtdi) {
      set_aside_.emplace_back(device.path, device.plug);
    }
  }
}

std::string SerialDriver::SysfsName(const std::string& path) {
  return std::filesystem::path(DeviceIdentity(path)).filename().string();
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
    SetAside(path);  // a failing open raised DTR all the same: not again until a new plug
    return err == ENOENT ? FT_DEVICE_NOT_FOUND : FT_DEVICE_NOT_OPENED;
  }
  auto opened = std::make_unique<TtyPort>(fd, path);
  if (options_.rts_direction) {
    // The kernel switches RTS for the frames where the port has an RS485 mode; by hand
    // otherwise, and by hand around the break in any case.
    opened->kernel_rs485 = EnableTtyRs485(fd) == 0;
    opened->rts_by_hand = true;
    if (SetTtyRts(fd, false) != 0) {
      opened->notes.push_back(path +
                              ": RTS cannot be switched on this port, so --rts-direction "
                              "cannot drive its transmitter");
    }
  }
  NoteLatencyTimer(*opened);
  *port = std::move(opened);
  return FT_OK;
}

void SerialDriver::NoteLatencyTimer(TtyPort& port) const {
  const std::optional<uint32_t> latency =
      ReadLatencyTimer(options_.sysfs_root, SysfsName(port.path()));
  if (latency && *latency > kHighLatencyTimerMs) {
    const std::string name = SysfsName(port.path());
    port.notes.push_back(port.path() + ": the adapter's latency timer stays at " +
                         std::to_string(*latency) +
                         " ms, so every reply comes late; set it to 1 ms (echo 1 | sudo tee "
                         "/sys/bus/usb-serial/devices/" +
                         name + "/latency_timer) or install Quillmont's udev rule");
  }
}

FT_STATUS SerialDriver::SetPortBaud(TtyPort& port, uint32_t baud, uint32_t* actual) {
  if (const int err = SetTtyBaud(port.fd(), baud, actual); err != 0) {
    return err == EINVAL ? FT_INVALID_BAUD_RATE : FromErrno(err);
  }
  return FT_OK;
}

FT_STATUS SerialDriver::WaitForTransmitter(TtyPort& port) {
  const uint64_t deadline = std::max(clock_.NowMicros(), port.frame_end_micros) + kUsbLagMicros +
                            uint64_t{options_.write_slack_ms} * 1000;
  for (;;) {
    uint32_t queued = 0;
    bool empty = false;
    bool known = false;
    if (const int err = TtyTransmitter(port.fd(), &queued, &empty, &known); err != 0) {
      return FromErrno(err);
    }
    const uint64_t now = clock_.NowMicros();
    const uint64_t wire_end = port.frame_end_micros + kUsbLagMicros;
    if (queued == 0 && (known ? empty : now >= wire_end)) {
      return FT_OK;
    }
    if (now >= deadline) {
      FlushTtyOutput(port.fd());  // what a stuck adapter holds would cut the next frame
      return FT_IO_ERROR;
    }
    const uint64_t look = queued > 0 ? WireMicros(queued, port.baud())
                          : known    ? kTransmitterLookMicros
                                     : wire_end - std::min(wire_end, now);
    clock_.SleepMicros(std::clamp<uint64_t>(look, 1, deadline - now));
  }
}

FT_STATUS SerialDriver::SetPortBreak(TtyPort& port, bool on) {
  if (on) {
    // A break set while the frame before is still going out would cut its tail.
    if (const FT_STATUS status = WaitForTransmitter(port); status != FT_OK) {
      return status;
    }
    if (port.rts_by_hand) {
      SetTtyRts(port.fd(), true);  // the driver enabled for the break and the frame after it
    }
  }
  return FromErrno(SetTtyBreak(port.fd(), on));
}

FT_STATUS SerialDriver::WritePort(TtyPort& port, const uint8_t* bytes, uint32_t count,
                                  uint32_t* sent) {
  const FT_STATUS status = FromErrno(WriteTty(
      port.fd(), bytes, count, WriteTimeoutMs(count, port.baud(), options_.write_slack_ms), sent));
  port.frame_end_micros =
      std::max(clock_.NowMicros(), port.frame_end_micros) + WireMicros(*sent, port.baud());
  if (status == FT_OK && port.rts_by_hand) {
    // The line turns round for the answer only once the frame is out.
    const FT_STATUS out = WaitForTransmitter(port);
    SetTtyRts(port.fd(), false);
    return out;
  }
  return status;
}

FT_STATUS SerialDriver::WaitPortReadable(TtyPort& port, uint64_t micros) {
  return FromErrno(WaitTtyReadable(port.fd(), micros));
}

AdapterFacts SerialDriver::PortFacts(TtyPort& port) {
  AdapterFacts facts;
  facts.port = port.path();
  facts.backend = "serial";
  facts.baud = port.baud();
  facts.rts_direction = port.rts_by_hand || port.kernel_rs485;
  facts.notes = port.notes;
  const std::string name = SysfsName(port.path());
  if (const auto device = DescribeUsbSerialDevice(options_.sysfs_root, options_.dev_root, name)) {
    facts.driver = device->driver;
    facts.usb_vendor = device->id.vendor;
    facts.usb_product = device->id.product;
    facts.chip = usb::ChipName(device->id);
  }
  facts.latency_timer_ms = ReadLatencyTimer(options_.sysfs_root, name);
  return facts;
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
