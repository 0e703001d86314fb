// SPDX-License-Identifier: Apache-2.0
// A D2xxDriver over POSIX serial devices: USB-to-RS485 adapters through the kernel's own
// serial drivers (ftdi_sio, ch341, cp210x, pl2303, cdc_acm, ...), or any terminal named on the
// command line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "link/clock.h"
#include "link/d2xx_driver.h"
#include "link/port_table_driver.h"

namespace quillmont::serial {

struct SerialOptions {
  // When not empty, these terminal devices, in this order, replace the adapters found in sysfs.
  std::vector<std::string> ports;
  // Where the kernel's device tree and the device nodes are (tests point these elsewhere).
  std::string sysfs_root = "/sys";
  std::string dev_root = "/dev";
  // How long a write may wait for room in the output queue, and the wait for the transmitter
  // before a break, beyond the frame's own time on the wire, before they give up on a stuck
  // adapter.
  uint32_t write_slack_ms = 100;
  // The adapter's driver enable is switched by RTS: raised for the break and the frame, lowered
  // once the frame has left the transmitter. On a port with the kernel's RS485 mode (an
  // on-board UART) the kernel switches it for the frames.
  bool rts_direction = false;
  // Times the waits for the transmitter; null: the system's clock.
  Clock* clock = nullptr;
};

// The number FT_GetLibraryVersion gives for this layer (1.0.0 in the library's layout).
inline constexpr uint32_t kSerialLayerVersion = 0x00010000;
// The rate a port runs at from FT_Open until FT_SetBaudRate: DMX512's.
inline constexpr uint32_t kDefaultBaud = 250000;
// A latency timer above this, read back after the low-latency request, is told to the user.
inline constexpr uint32_t kHighLatencyTimerMs = 2;

// Why a device did not open, for the user: "<path>: no such device", "...: not a terminal",
// "...: permission denied; <how to get access>", "...: busy; another program is using it".
std::string OpenErrorText(const std::string& path, int err);

// One open device. Its address is the handle; the descriptor never leaves the driver and is
// closed with the port.
class TtyPort {
 public:
  TtyPort(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~TtyPort();
  TtyPort(const TtyPort&) = delete;
  TtyPort& operator=(const TtyPort&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // The rate the line runs at now, as the adapter reports it.
  uint32_t baud() const { return baud_; }
  void set_baud(uint32_t baud) { baud_ = baud; }

  // When the last frame written is through on the wire, at the earliest (clock micros).
  uint64_t frame_end_micros = 0;
  // RTS switches the driver by hand; the kernel's RS485 mode does it.
  bool rts_by_hand = false;
  bool kernel_rs485 = false;
  std::vector<std::string> notes;  // what opening it found worth telling

 private:
  int fd_;
  std::string path_;
  uint32_t baud_ = kDefaultBaud;
};

class SerialDriver final : public PortTableDriver<TtyPort> {
 public:
  explicit SerialDriver(SerialOptions options = {});

  // The devices FT_Open numbers from 0, as they are now: the --port paths that exist, or the
  // DMX/RDM adapters found in sysfs (less those set aside). A device named twice (or by two of
  // its names, such as /dev/ttyUSB0 and its /dev/serial/by-id/ link) is counted once, where it
  // is first named.
  std::vector<std::string> DevicePaths() const;
  // The --port paths that name nothing now.
  std::vector<std::string> AbsentPorts() const;
  // Leaves the found device at `path` out of the search until it is plugged in anew, when it is
  // not an FTDI chip: opening a port raises DTR, which resets a microcontroller board built on
  // the same chip, so such a port is opened once per plug. Nothing for a --port device.
  void SetAside(const std::string& path);

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
  FT_STATUS WaitPortReadable(TtyPort& port, uint64_t micros) override;
  AdapterFacts PortFacts(TtyPort& port) override;
  void BaudAccepted(TtyPort& port, uint32_t actual) override { port.set_baud(actual); }

  // Waits until the frame before has left the adapter (the driver's queue empty, and the
  // chip's transmitter where the driver tells, else the frame's time on the wire); bounded.
  FT_STATUS WaitForTransmitter(TtyPort& port);
  // The sysfs name (ttyUSB0) of a device path, following links.
  static std::string SysfsName(const std::string& path);
  void NoteLatencyTimer(TtyPort& port) const;

  SerialOptions options_;
  SystemClock system_clock_;
  Clock& clock_;
  // Found devices left out of the search, by path, with the plug they were set aside in.
  mutable std::vector<std::pair<std::string, std::string>> set_aside_;
};

}  // namespace quillmont::serial
