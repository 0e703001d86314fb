// A D2xxDriver over POSIX serial devices: USB-to-RS485 adapters through the kernel's own
// serial drivers (ftdi_sio, cdc_acm, ...), or any terminal named on the command line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/d2xx_driver.h"
#include "link/port_table_driver.h"

namespace quillmont::serial {

struct SerialOptions {
  // When not empty, these terminal devices, in this order, replace the adapters found in sysfs.
  std::vector<std::string> ports;
  // Where the kernel's device tree and the device nodes are (tests point these elsewhere).
  std::string sysfs_root = "/sys";
  std::string dev_root = "/dev";
  // How long a write may wait for room in the output queue beyond twice the frame's own time
  // on the wire, before it gives up on a stuck adapter.
  uint32_t write_slack_ms = 100;
};

// The number FT_GetLibraryVersion gives for this layer (1.0.0 in the library's layout).
inline constexpr uint32_t kSerialLayerVersion = 0x00010000;
// The rate a port runs at from FT_Open until FT_SetBaudRate: DMX512's.
inline constexpr uint32_t kDefaultBaud = 250000;

// Why a device did not open, for the user: "<path>: no such device", "...: not a terminal",
// "...: permission denied; <how to get access>", "...: busy; another program is using it".
std::string OpenErrorText(const std::string& path, int err);

// One open device. Its address is the handle; the descriptor never leaves the driver and is
// closed with the port.
class TtyPort {
 public:
  explicit TtyPort(int fd) : fd_(fd) {}
  ~TtyPort();
  TtyPort(const TtyPort&) = delete;
  TtyPort& operator=(const TtyPort&) = delete;

  int fd() const { return fd_; }
  // The rate the line runs at now, as the adapter reports it.
  uint32_t baud() const { return baud_; }
  void set_baud(uint32_t baud) { baud_ = baud; }

 private:
  int fd_;
  uint32_t baud_ = kDefaultBaud;
};

class SerialDriver final : public PortTableDriver<TtyPort> {
 public:
  explicit SerialDriver(SerialOptions options = {});

  // The devices FT_Open numbers from 0, as they are now: the --port paths that exist, or the
  // DMX/RDM adapters found in sysfs. A device named twice (or by two of its names, such as
  // /dev/ttyUSB0 and its /dev/serial/by-id/ link) is counted once, where it is first named.
  std::vector<std::string> DevicePaths() const;
  // The --port paths that name nothing now.
  std::vector<std::string> AbsentPorts() const;

 private:
  std::vector<std::string> DeviceNames() const override { return DevicePaths(); }
  FT_STATUS OpenDevice(const std::string& path, std::unique_ptr<TtyPort>* port,
                       std::string* why) override;
  FT_STATUS SetPortBaud(TtyPort& port, uint32_t baud, uint32_t* actual) override;
  FT_STATUS SetPortBreak(TtyPort& port, bool on) override;
  FT_STATUS WritePort(TtyPort& port, const uint8_t* bytes, uint32_t count, uint32_t* sent) override;
  FT_STATUS PortQueues(TtyPort& port, uint32_t* rx, uint32_t* tx) override;
  FT_STATUS ReadPort(TtyPort& port, uint8_t* buffer, uint32_t count, uint32_t* got) override;
  FT_STATUS PortModemStatus(TtyPort& port, uint32_t* value) override;
  void BaudAccepted(TtyPort& port, uint32_t actual) override { port.set_baud(actual); }

  SerialOptions options_;
};

}  // namespace quillmont::serial
