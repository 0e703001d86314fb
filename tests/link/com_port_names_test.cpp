// SPDX-License-Identifier: Apache-2.0
// Port names typed by the user, and the order ports are numbered in.
#include "link/com/com_port_names.h"

#include <gtest/gtest.h>

#include "link/usb/known_adapters.h"

namespace quillmont::com {
namespace {

TEST(ComPortNames, TakesPortNamesInAnyCaseAndWithTheDevicePrefix) {
  EXPECT_EQ(ComPortName("COM3"), "COM3");
  EXPECT_EQ(ComPortName("com12"), "COM12");
  EXPECT_EQ(ComPortName("\\\\.\\COM7"), "COM7");
  EXPECT_EQ(ComPortName("COM255"), "COM255");
  EXPECT_EQ(ComPortName("CNCA0"), "CNCA0");  // a virtual port pair's end
  EXPECT_EQ(ComDevicePath("COM12"), "\\\\.\\COM12");
}

TEST(ComPortNames, RefusesWhatIsNotAPortName) {
  // Paths, other devices, numbers out of range or with leading zeros never reach CreateFile.
  for (const char* text :
       {"", "COM", "3", "COM03", "COM00", "COM256", "COM1000", "COM3:", "COM3 ", " COM3", "COM-3",
        "NUL", "/dev/ttyUSB0", "C:\\port", "..\\COM3", "\\\\.\\", "\\\\?\\COM3", "LONGPREFIX1"}) {
    EXPECT_EQ(ComPortName(text), "") << text;
  }
}

TEST(ComPortNames, SortsByPrefixThenNumberAndDropsDuplicates) {
  std::vector<std::string> names = {"COM10", "COM2", "CNCA0", "COM1", "COM2", "COM100"};
  SortComPortNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"CNCA0", "COM1", "COM2", "COM10", "COM100"}));
}

}  // namespace
}  // namespace quillmont::com

namespace quillmont::usb {
namespace {

TEST(KnownAdapters, WindowsHardwareIdsNameTheChipAndOnlyDmxChipsAreTaken) {
  UsbId id;
  ASSERT_TRUE(ParseHardwareId("FTDIBUS\\COMPORT&VID_0403&PID_6001", &id));
  EXPECT_EQ(ClassifyAdapter(id), AdapterKind::kFtdi);
  ASSERT_TRUE(ParseHardwareId("usb\\vid_1a86&pid_7523&rev_0264", &id));
  EXPECT_EQ(id.vendor, 0x1A86);
  EXPECT_EQ(id.product, 0x7523);
  EXPECT_EQ(ClassifyAdapter(id), AdapterKind::kKnown);
  // A microcontroller board and a modem are left to --port.
  ASSERT_TRUE(ParseHardwareId("USB\\VID_2341&PID_0043&REV_0001", &id));
  EXPECT_EQ(ClassifyAdapter(id), AdapterKind::kOther);
  EXPECT_EQ(ClassifyAdapter(UsbId{0x067B, 0x2304}), AdapterKind::kOther);
  // The newer chips of the same makers are taken too.
  for (const UsbId chip :
       {UsbId{0x1A86, 0x5523}, UsbId{0x1A86, 0x55D3}, UsbId{0x1A86, 0x55D4}, UsbId{0x10C4, 0xEA70},
        UsbId{0x10C4, 0xEA71}, UsbId{0x067B, 0x23A3}, UsbId{0x067B, 0x23F3}}) {
    EXPECT_EQ(ClassifyAdapter(chip), AdapterKind::kKnown) << std::hex << chip.product;
  }
  EXPECT_EQ(ChipName(UsbId{0x1A86, 0x55D4}), "WCH CH9102");
  // Ports without USB IDs (a motherboard's COM1) or with cut-off IDs are none of them.
  id = UsbId{0x0403, 0x6001};
  EXPECT_FALSE(ParseHardwareId("ACPI\\PNP0501", &id));
  EXPECT_FALSE(ParseHardwareId("USB\\VID_04", &id));
  EXPECT_FALSE(ParseHardwareId("USB\\VID_04G3&PID_6001", &id));
  EXPECT_EQ(id.vendor, 0x0403);  // untouched
}

}  // namespace
}  // namespace quillmont::usb
