// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>

#include "link/line.h"
#include "link/serial/serial_driver.h"
#include "pty_pair.h"

namespace quillmont::serial {
namespace {

using testing::LineSettings;
using testing::PtyPair;
using testing::ReadLineSettings;

std::vector<uint8_t> AllByteValues() {
  std::vector<uint8_t> bytes(256);
  std::iota(bytes.begin(), bytes.end(), uint8_t{0});
  return bytes;
}

// Bytes written into a pty reach the other side through the kernel's work queue; wait (for
// real, but bounded) until `count` are waiting.
uint32_t WaitForWaiting(SerialDriver& driver, FT_HANDLE handle, uint32_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  uint32_t waiting = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    uint32_t tx = 0;
    uint32_t events = 0;
    if (driver.FT_GetStatus(handle, &waiting, &tx, &events) != FT_OK || waiting >= count) {
      break;
    }
    poll(nullptr, 0, 1);
  }
  return waiting;
}

// A driver with one pseudo-terminal named on the command line, opened.
struct OpenPty {
  OpenPty() : driver(SerialOptions{{pty.slave_path()}}) {
    EXPECT_EQ(driver.FT_Open(0, &handle), FT_OK);
    EXPECT_NE(handle, nullptr);
  }
  PtyPair pty;
  SerialDriver driver;
  FT_HANDLE handle = nullptr;
};

TEST(SerialDriverLine, OpensRaw8N2At250000AndSetsAnyRate) {
  OpenPty line;
  LineSettings s = ReadLineSettings(line.pty.master());
  EXPECT_EQ(s.output_baud, 250000u);
  EXPECT_EQ(s.input_baud, 250000u);
  EXPECT_TRUE(s.eight_bits);
  EXPECT_TRUE(s.two_stop_bits);
  EXPECT_FALSE(s.parity);
  EXPECT_FALSE(s.hardware_flow);
  EXPECT_FALSE(s.software_flow);
  EXPECT_TRUE(s.ignore_modem_lines);
  EXPECT_TRUE(s.receiver_on);
  EXPECT_FALSE(s.input_translation);
  EXPECT_FALSE(s.output_processing);
  EXPECT_FALSE(s.canonical_or_echo);

  EXPECT_EQ(line.driver.FT_SetBaudRate(line.handle, 115200), FT_OK);
  s = ReadLineSettings(line.pty.master());
  EXPECT_EQ(s.output_baud, 115200u);
  EXPECT_EQ(s.input_baud, 115200u);
  EXPECT_TRUE(s.two_stop_bits);  // a new rate keeps the framing

  EXPECT_EQ(line.driver.FT_SetBaudRate(line.handle, 250000), FT_OK);
  EXPECT_EQ(ReadLineSettings(line.pty.master()).output_baud, 250000u);

  // Rate 0 would hang the line up: refused, and the rate stays.
  EXPECT_EQ(line.driver.FT_SetBaudRate(line.handle, 0), FT_INVALID_BAUD_RATE);
  EXPECT_EQ(ReadLineSettings(line.pty.master()).output_baud, 250000u);
}

TEST(SerialDriverLine, CarriesEveryByteValueUntouchedBothWays) {
  OpenPty line;
  const std::vector<uint8_t> bytes = AllByteValues();  // 0x00, XON/XOFF, CR and LF among them

  uint32_t written = 0;
  ASSERT_EQ(line.driver.FT_Write(line.handle, bytes.data(), 256, &written), FT_OK);
  EXPECT_EQ(written, 256u);
  EXPECT_EQ(line.pty.Receive(257, 20), bytes);  // exactly these, nothing added

  line.pty.Send(bytes);
  ASSERT_EQ(WaitForWaiting(line.driver, line.handle, 256), 256u);
  std::vector<uint8_t> got(300, 0xEE);
  uint32_t read = 0;
  ASSERT_EQ(line.driver.FT_Read(line.handle, got.data(), 256, &read), FT_OK);
  ASSERT_EQ(read, 256u);
  got.resize(256);
  EXPECT_EQ(got, bytes);
  // Nothing was echoed back onto the line.
  EXPECT_TRUE(line.pty.Receive(1, 5).empty());
}

TEST(SerialDriverLine, ReadsOnlyWhatIsAskedAndNeverWaits) {
  OpenPty line;
  uint8_t buffer[8] = {};
  uint32_t read = 99;
  EXPECT_EQ(line.driver.FT_Read(line.handle, buffer, 8, &read), FT_OK);
  EXPECT_EQ(read, 0u);

  line.pty.Send({1, 2, 3, 4, 5});
  ASSERT_EQ(WaitForWaiting(line.driver, line.handle, 5), 5u);
  ASSERT_EQ(line.driver.FT_Read(line.handle, buffer, 3, &read), FT_OK);
  EXPECT_EQ(read, 3u);
  EXPECT_EQ(buffer[2], 3);
  EXPECT_EQ(buffer[3], 0);  // nothing beyond the count asked for
  EXPECT_EQ(WaitForWaiting(line.driver, line.handle, 2), 2u);
}

TEST(SerialDriverLine, BreakIsAcceptedAndTheFrameFollowsIt) {
  OpenPty line;
  EXPECT_EQ(line.driver.FT_SetBreakOn(line.handle), FT_OK);
  EXPECT_EQ(line.driver.FT_SetBreakOff(line.handle), FT_OK);
  const uint8_t frame[] = {0xCC, 0x01, 0x18};
  uint32_t written = 0;
  EXPECT_EQ(line.driver.FT_Write(line.handle, frame, 3, &written), FT_OK);
  EXPECT_EQ(line.pty.Receive(3), (std::vector<uint8_t>{0xCC, 0x01, 0x18}));
}

TEST(SerialDriverLine, ClosedFarEndIsALostAdapter) {
  OpenPty line;
  uint32_t modem = 0xFFFF;
  // A pseudo-terminal has no modem lines, yet it is there.
  EXPECT_EQ(line.driver.FT_GetModemStatus(line.handle, &modem), FT_OK);
  EXPECT_EQ(modem, 0u);

  line.pty.CloseMaster();
  EXPECT_NE(line.driver.FT_GetModemStatus(line.handle, &modem), FT_OK);
  uint32_t rx = 0, tx = 0, events = 0;
  EXPECT_NE(line.driver.FT_GetStatus(line.handle, &rx, &tx, &events), FT_OK);

  EXPECT_EQ(line.driver.FT_Close(line.handle), FT_OK);
  // The handle is forgotten: using it again fails without touching anything.
  EXPECT_EQ(line.driver.FT_GetModemStatus(line.handle, &modem), FT_INVALID_HANDLE);
  EXPECT_EQ(line.driver.FT_Close(line.handle), FT_INVALID_HANDLE);
}

TEST(SerialDriverLine, StuckOutputQueueEndsTheWriteInsteadOfHangingIt) {
  PtyPair pty;
  SerialOptions options{{pty.slave_path()}};
  options.write_slack_ms = 5;
  SerialDriver driver(options);
  FT_HANDLE handle = nullptr;
  ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK);
  // At this rate the frame's own time on the wire rounds to 0 ms: the wait is the slack alone.
  ASSERT_EQ(driver.FT_SetBaudRate(handle, 4'000'000'000u), FT_OK);
  // Nobody reads the far end, so the kernel's queue fills up.
  const std::vector<uint8_t> big(256 * 1024, 0x55);
  uint32_t written = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_NE(driver.FT_Write(handle, big.data(), static_cast<uint32_t>(big.size()), &written),
            FT_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, big.size());
}

TEST(SerialDriverLine, LineAccessRunsOverAPseudoTerminal) {
  PtyPair pty;
  SerialDriver driver(SerialOptions{{pty.slave_path()}});
  VirtualClock clock;
  std::ostringstream diag;
  LineIo io{driver, clock, diag};
  LinkHandle link = nullptr;

  ASSERT_TRUE(OpenLink(io, link, 0));
  ASSERT_NE(link, nullptr);
  EXPECT_TRUE(SetLinkBaud(io, link, 250000));
  EXPECT_TRUE(SendBreak(io, link));
  const std::vector<uint8_t> request = {0xCC, 0x01, 0x18, 0x7F, 0xF0};
  uint32_t written = 0;
  ASSERT_EQ(driver.FT_Write(link, request.data(), 5, &written), FT_OK);
  EXPECT_EQ(pty.Receive(5), request);

  pty.Send({0xCC, 0x01, 0x0D, 0x0A, 0x11, 0x13, 0x00});
  ASSERT_EQ(WaitForWaiting(driver, link, 7), 7u);
  uint8_t reply[16] = {};
  EXPECT_EQ(ReadWithTimeout(io, link, reply, 7, 1).value_or(-1), 7);
  EXPECT_EQ(std::vector<uint8_t>(reply, reply + 7),
            (std::vector<uint8_t>{0xCC, 0x01, 0x0D, 0x0A, 0x11, 0x13, 0x00}));

  char expected_open[160];
  std::snprintf(expected_open, sizeof expected_open,
                "FTDI Library version = 0x10000. Opening port 0... "
                "FT_Open succeeded, handle is %p\nBaudRate set to 250000\n",
                link);
  EXPECT_EQ(diag.str(), expected_open);
}

TEST(SerialDriverPorts, PortListKeepsItsOrderAndSkipsAbsentDevices) {
  PtyPair first;
  PtyPair second;
  SerialDriver driver(
      SerialOptions{{second.slave_path(), "/dev/quillmont-no-such-adapter", first.slave_path()}});
  EXPECT_EQ(driver.DevicePaths(),
            (std::vector<std::string>{second.slave_path(), first.slave_path()}));
  uint32_t count = 0;
  ASSERT_EQ(driver.FT_CreateDeviceInfoList(&count), FT_OK);
  EXPECT_EQ(count, 2u);

  FT_HANDLE h0 = nullptr;
  FT_HANDLE h1 = nullptr;
  ASSERT_EQ(driver.FT_Open(0, &h0), FT_OK);
  ASSERT_EQ(driver.FT_Open(1, &h1), FT_OK);
  EXPECT_NE(h0, h1);
  const uint8_t a = 0xA0;
  const uint8_t b = 0xB1;
  uint32_t written = 0;
  ASSERT_EQ(driver.FT_Write(h0, &a, 1, &written), FT_OK);
  ASSERT_EQ(driver.FT_Write(h1, &b, 1, &written), FT_OK);
  EXPECT_EQ(second.Receive(2, 20), std::vector<uint8_t>{0xA0});
  EXPECT_EQ(first.Receive(2, 20), std::vector<uint8_t>{0xB1});

  // An adapter already open is not opened a second time; indexes past the list find nothing.
  FT_HANDLE again = nullptr;
  EXPECT_EQ(driver.FT_Open(0, &again), FT_DEVICE_NOT_OPENED);
  EXPECT_EQ(again, nullptr);
  EXPECT_EQ(driver.FT_Open(2, &again), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(driver.FT_Open(-1, &again), FT_DEVICE_NOT_FOUND);
}

TEST(SerialDriverPorts, NonTerminalIsRefusedAtOpenAndLeftAloneAndEachSaysWhy) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("quillmont-not-a-tty-" + std::to_string(getpid()));
  const std::filesystem::path dir = file.string() + "-dir";
  std::ofstream(file) << "firmware";
  std::filesystem::create_directories(dir);
  const std::string missing = "/dev/quillmont-no-such-adapter";
  SerialDriver driver(SerialOptions{{missing, file.string(), dir.string()}});
  EXPECT_EQ(driver.AbsentPorts(), std::vector<std::string>{missing});
  uint32_t count = 0;
  ASSERT_EQ(driver.FT_CreateDeviceInfoList(&count), FT_OK);
  EXPECT_EQ(count, 2u);
  FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(0x1);
  EXPECT_EQ(driver.FT_Open(0, &handle), FT_DEVICE_NOT_OPENED);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(driver.open_error(), file.string() + ": not a terminal");
  EXPECT_EQ(std::filesystem::file_size(file), 8u);
  EXPECT_EQ(driver.FT_Open(1, &handle), FT_DEVICE_NOT_OPENED);
  EXPECT_EQ(driver.open_error(), dir.string() + ": not a terminal");
  EXPECT_EQ(OpenErrorText(missing, ENOENT), missing + ": no such device");
  EXPECT_EQ(OpenErrorText("/dev/ttyUSB0", EACCES),
            "/dev/ttyUSB0: permission denied; add yourself to the dialout group (sudo adduser "
            "$USER dialout, then log in again) or install Quillmont's udev rule "
            "(60-quillmont.rules)");
  std::filesystem::remove(file);
  std::filesystem::remove(dir);
}

TEST(SerialDriverPorts, ALineIsOpenedOnceAndHeldAgainstEveryOtherProgram) {
  PtyPair pty;
  const std::filesystem::path alias =
      std::filesystem::temp_directory_path() / ("quillmont-by-id-" + std::to_string(getpid()));
  std::filesystem::remove(alias);
  std::filesystem::create_symlink(pty.slave_path(), alias);
  // Named twice, and once more by another of its names: one adapter.
  SerialDriver first(SerialOptions{{pty.slave_path(), alias.string(), pty.slave_path()}});
  EXPECT_EQ(first.DevicePaths(), std::vector<std::string>{pty.slave_path()});
  FT_HANDLE held = nullptr;
  ASSERT_EQ(first.FT_Open(0, &held), FT_OK);

  // Another program is refused, root too (the lock holds where the exclusive mode does not).
  SerialDriver second(SerialOptions{{alias.string()}});
  FT_HANDLE other = nullptr;
  EXPECT_EQ(second.FT_Open(0, &other), FT_DEVICE_NOT_OPENED);
  EXPECT_EQ(second.open_error(), alias.string() + ": busy; another program is using it");
  ASSERT_EQ(first.FT_Close(held), FT_OK);

  // A program that holds the line by its exclusive mode alone keeps it: the refused attempt
  // does not clear the mode.
  const int program = open(pty.slave_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(program, 0);
  ASSERT_EQ(ioctl(program, TIOCEXCL), 0);
  EXPECT_EQ(second.FT_Open(0, &other), FT_DEVICE_NOT_OPENED);
  EXPECT_EQ(second.open_error(), alias.string() + ": busy; another program is using it");
  int exclusive = 0;
  ASSERT_EQ(ioctl(program, TIOCGEXCL, &exclusive), 0);
  EXPECT_NE(exclusive, 0);
  ioctl(program, TIOCNXCL);
  close(program);

  // Let go, the line is free for the next program, and ours holds it until it closes.
  ASSERT_EQ(second.FT_Open(0, &other), FT_OK);
  EXPECT_EQ(first.FT_Open(0, &held), FT_DEVICE_NOT_OPENED);
  ASSERT_EQ(second.FT_Close(other), FT_OK);
  std::filesystem::remove(alias);
}

TEST(SerialDriverHandles, NullAndUnknownHandlesFailEveryCallUntouched) {
  PtyPair pty;
  SerialDriver driver(SerialOptions{{pty.slave_path()}});
  FT_HANDLE open_handle = nullptr;
  ASSERT_EQ(driver.FT_Open(0, &open_handle), FT_OK);
  int stranger = 0;
  for (FT_HANDLE handle : {static_cast<FT_HANDLE>(nullptr), static_cast<FT_HANDLE>(&stranger)}) {
    SCOPED_TRACE(handle == nullptr ? "null handle" : "unknown handle");
    const uint8_t frame[] = {0xCC, 0x01};
    uint32_t out = 77;
    EXPECT_NE(driver.FT_Write(handle, frame, 2, &out), FT_OK);
    EXPECT_EQ(out, 77u);
    EXPECT_NE(driver.FT_SetBaudRate(handle, 250000), FT_OK);
    EXPECT_NE(driver.FT_SetBreakOn(handle), FT_OK);
    EXPECT_NE(driver.FT_SetBreakOff(handle), FT_OK);
    uint32_t rx = 77, tx = 77, events = 77;
    EXPECT_NE(driver.FT_GetStatus(handle, &rx, &tx, &events), FT_OK);
    EXPECT_EQ(rx, 77u);
    uint8_t buffer[2] = {0x5A, 0x5A};
    EXPECT_NE(driver.FT_Read(handle, buffer, 2, &out), FT_OK);
    EXPECT_EQ(buffer[0], 0x5A);
    EXPECT_NE(driver.FT_GetModemStatus(handle, &out), FT_OK);
    EXPECT_NE(driver.FT_Close(handle), FT_OK);
    EXPECT_EQ(stranger, 0);
  }
  // Nothing reached the line, and the real adapter is still open and working.
  EXPECT_TRUE(pty.Receive(1, 5).empty());
  uint32_t modem = 0;
  EXPECT_EQ(driver.FT_GetModemStatus(open_handle, &modem), FT_OK);
}

}  // namespace
}  // namespace quillmont::serial
