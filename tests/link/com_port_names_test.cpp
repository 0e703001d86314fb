// Port names typed by the user, and the order ports are numbered in.
#include "link/com/com_port_names.h"

#include <gtest/gtest.h>

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
