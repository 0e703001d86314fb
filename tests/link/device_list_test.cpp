// SPDX-License-Identifier: Apache-2.0
#include "link/serial/device_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "link/serial/serial_driver.h"

namespace quillmont::serial {
namespace {

namespace fs = std::filesystem;

// A sysfs tree in a temporary folder, shaped like the kernel's: /class/tty/<name>/device is a
// link into /devices, and the device's driver link points into /bus.
class FakeSysfs : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("quillmont-sysfs-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "class" / "tty");
  }
  void TearDown() override { fs::remove_all(root_); }

  // A USB serial port: usb device <usb> (with idVendor) / interface / port dir for ttyUSB*;
  // for ttyACM* the tty's device is the interface itself.
  void AddUsbTty(const std::string& name, const std::string& usb, const std::string& vendor,
                 const std::string& driver, const std::string& product = "6001") {
    const fs::path usb_dir = root_ / "devices" / "usb1" / usb;
    const fs::path interface = usb_dir / (usb + ":1.0");
    const fs::path device = name.starts_with("ttyACM") ? interface : interface / name;
    fs::create_directories(device);
    std::ofstream(usb_dir / "idVendor") << vendor << "\n";
    std::ofstream(usb_dir / "idProduct") << product << "\n";
    std::ofstream(usb_dir / "busnum") << "1\n";
    std::ofstream(usb_dir / "devnum") << ++plugs_ << "\n";
    const fs::path driver_dir = root_ / "bus" / "usb-serial" / "drivers" / driver;
    fs::create_directories(driver_dir);
    fs::create_symlink(driver_dir, device / "driver");
    AddTty(name, device);
  }
  void AddTty(const std::string& name, const fs::path& device) {
    const fs::path tty = root_ / "class" / "tty" / name;
    fs::create_directories(tty);
    if (!device.empty()) {
      fs::create_symlink(device, tty / "device");
    }
  }

  // Unplugs the USB device `usb` and plugs it in again: it gets the next device number.
  void Replug(const std::string& usb) {
    std::ofstream(root_ / "devices" / "usb1" / usb / "devnum") << ++plugs_ << "\n";
  }

  fs::path root_;
  int plugs_ = 0;
};

TEST(NaturalOrder, NumbersCompareByValueAndTheOrderIsTotal) {
  EXPECT_TRUE(NaturalLess("ttyUSB2", "ttyUSB10"));
  EXPECT_FALSE(NaturalLess("ttyUSB10", "ttyUSB2"));
  EXPECT_TRUE(NaturalLess("ttyACM9", "ttyUSB0"));
  EXPECT_TRUE(NaturalLess("ttyUSB1", "ttyUSB1a"));
  EXPECT_FALSE(NaturalLess("ttyUSB1", "ttyUSB1"));
  // Same value written differently: exactly one comes first.
  EXPECT_NE(NaturalLess("ttyUSB01", "ttyUSB1"), NaturalLess("ttyUSB1", "ttyUSB01"));
}

TEST_F(FakeSysfs, OnlyDmxAdaptersAreTakenFtdiFirstEachGroupInNaturalOrder) {
  AddUsbTty("ttyUSB10", "1-4", "0403", "ftdi_sio");
  AddUsbTty("ttyUSB1", "1-1", "067b", "pl2303", "2303");
  AddUsbTty("ttyUSB2", "1-2", "0403", "ftdi_sio");
  AddUsbTty("ttyACM0", "1-3", "0403", "cdc_acm");           // an FTDI chip known by its vendor ID
  AddUsbTty("ttyUSB3", "1-7", "1A86", "ch341", "7523");     // a CH340 RS485 stick
  AddUsbTty("ttyUSB4", "1-8", "1d50", "ftdi_sio", "60fc");  // FTDI chip, maker's vendor ID
  // Not DMX adapters: a microcontroller board, a modem, a PL2303 of another product.
  AddUsbTty("ttyACM1", "1-5", "2341", "cdc_acm", "0043");
  AddUsbTty("ttyACM2", "1-6", "1bc7", "cdc_acm", "1201");
  AddUsbTty("ttyUSB5", "1-9", "067b", "pl2303", "2304");
  AddTty("ttyUSB7", {});               // a name left behind without a device
  AddTty("ttyS0", root_ / "devices");  // not a USB serial adapter
  AddTty("tty0", root_ / "devices");

  const std::vector<std::string> expected = {"/dev/ttyACM0",  "/dev/ttyUSB2", "/dev/ttyUSB4",
                                             "/dev/ttyUSB10", "/dev/ttyUSB1", "/dev/ttyUSB3"};
  EXPECT_EQ(ScanUsbSerialDevices(root_.string(), "/dev"), expected);

  // The driver numbers its adapters the same way, and opening one that has no device node
  // finds nothing.
  SerialDriver driver(SerialOptions{{}, root_.string(), (root_ / "dev").string()});
  uint32_t count = 0;
  ASSERT_EQ(driver.FT_CreateDeviceInfoList(&count), FT_OK);
  EXPECT_EQ(count, 6u);
  EXPECT_EQ(driver.DevicePaths().front(), (root_ / "dev" / "ttyACM0").string());
  FT_HANDLE handle = nullptr;
  EXPECT_EQ(driver.FT_Open(0, &handle), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(handle, nullptr);
}

TEST_F(FakeSysfs, AFoundPortThatIsNoFtdiChipIsOpenedOncePerPlug) {
  // Opening a port raises DTR, which resets a microcontroller board on the same chip: a CH340
  // whose open failed (here: no device node) is left alone until it is plugged in anew. An FTDI
  // chip is tried again on every turn of the search.
  AddUsbTty("ttyUSB0", "1-1", "0403", "ftdi_sio");
  AddUsbTty("ttyUSB1", "1-2", "1a86", "ch341", "7523");
  SerialDriver driver(SerialOptions{{}, root_.string(), (root_ / "dev").string()});
  const std::string ftdi = (root_ / "dev" / "ttyUSB0").string();
  const std::string ch340 = (root_ / "dev" / "ttyUSB1").string();
  FT_HANDLE handle = nullptr;
  EXPECT_EQ(driver.FT_Open(1, &handle), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(driver.DevicePaths(), std::vector<std::string>{ftdi});
  EXPECT_EQ(driver.FT_Open(0, &handle), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(driver.DevicePaths(), std::vector<std::string>{ftdi});
  Replug("1-2");
  EXPECT_EQ(driver.DevicePaths(), (std::vector<std::string>{ftdi, ch340}));
  // What the widget driver sets aside after its questions went unanswered, likewise.
  driver.SetAside(ch340);
  driver.SetAside(ftdi);
  EXPECT_EQ(driver.DevicePaths(), std::vector<std::string>{ftdi});
}

TEST_F(FakeSysfs, NoTreeOrNoAdaptersCountsNothing) {
  AddTty("ttyS0", root_ / "devices");
  EXPECT_TRUE(ScanUsbSerialDevices(root_.string(), "/dev").empty());
  SerialDriver driver(SerialOptions{{}, (root_ / "missing").string(), "/dev"});
  uint32_t count = 9;
  EXPECT_EQ(driver.FT_CreateDeviceInfoList(&count), FT_OK);
  EXPECT_EQ(count, 0u);
}

}  // namespace
}  // namespace quillmont::serial
