// SPDX-License-Identifier: Apache-2.0
// The driver over Windows communications ports, as far as it can be driven without a port:
// the line settings it gives the port, ports that are not there, handles it never gave out,
// and the backend choice on Windows.
#include "link/com/com_port_driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drivers/backend_choice.h"
#include "link/com/com_device.h"
#include "link/com/com_settings.h"
#include "link/d2xx/d2xx_library_driver.h"
#include "link/d2xx/shared_library.h"

namespace quillmont::com {
namespace {

TEST(ComLineSettings, AreRaw8N2WithNulBytesKeptAndNoFlowControl) {
  DCB dcb;
  std::memset(&dcb, 0xFF, sizeof dcb);  // every flag on, every field at its worst
  SetDmxLine(dcb, 250000);
  EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
  EXPECT_EQ(dcb.BaudRate, 250000u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.fBinary, 1u);
  EXPECT_EQ(dcb.fParity, 0u);
  EXPECT_EQ(dcb.fNull, 0u);  // a driver that drops 0x00 would garble every RDM frame
  EXPECT_EQ(dcb.fErrorChar, 0u);
  EXPECT_EQ(dcb.fAbortOnError, 0u);  // a break must not stop the port
  EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
  EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
  EXPECT_EQ(dcb.fDsrSensitivity, 0u);
  EXPECT_EQ(dcb.fOutX, 0u);
  EXPECT_EQ(dcb.fInX, 0u);
  EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
  EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
  EXPECT_EQ(dcb.XonLim, 0xFFFF);  // what the driver set and this line does not use stays
}

TEST(ComLineSettings, ReadsReturnAtOnceAndWritesWaitTwiceTheirWireTime) {
  const COMMTIMEOUTS dmx = DmxTimeouts(250000);
  EXPECT_EQ(dmx.ReadIntervalTimeout, MAXDWORD);
  EXPECT_EQ(dmx.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(dmx.ReadTotalTimeoutConstant, 0u);
  EXPECT_EQ(dmx.WriteTotalTimeoutMultiplier, 1u);  // 2 x 44 us, rounded up
  EXPECT_EQ(dmx.WriteTotalTimeoutConstant, 100u);
  EXPECT_EQ(DmxTimeouts(9600).WriteTotalTimeoutMultiplier, 3u);   // 2 x 1.15 ms
  EXPECT_EQ(DmxTimeouts(11).WriteTotalTimeoutMultiplier, 1000u);  // bounded
  EXPECT_EQ(DmxTimeouts(0).WriteTotalTimeoutMultiplier, 1000u);
}

TEST(ComPortDriver, ANamedPortIsCountedAndItsOpenTellsThatItIsNotThere) {
  ComPortDriver driver(ComPortOptions{{"COM250", "not-a-port", "\\\\.\\com250"}});
  EXPECT_EQ(driver.PortNames(), std::vector<std::string>{"COM250"});
  EXPECT_EQ(driver.AbsentPorts(), std::vector<std::string>{"not-a-port"});
  uint32_t count = 9;
  ASSERT_EQ(driver.FT_CreateDeviceInfoList(&count), FT_OK);
  EXPECT_EQ(count, 1u);
  FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(0x1);
  EXPECT_EQ(driver.FT_Open(0, &handle), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(driver.open_error(), "COM250: no such device");
  EXPECT_EQ(driver.FT_Open(1, &handle), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(driver.FT_Open(-1, &handle), FT_DEVICE_NOT_FOUND);
  uint32_t version = 0;
  ASSERT_EQ(driver.FT_GetLibraryVersion(&version), FT_OK);
  EXPECT_EQ(version, kComLayerVersion);

  // The system's own list is read without opening anything.
  ComPortDriver listed;
  EXPECT_EQ(listed.FT_CreateDeviceInfoList(&count), FT_OK);
}

TEST(ComPortDriver, ADeviceThatIsNotACommunicationsPortIsRefusedAndClosed) {
  ComHandle handle = reinterpret_cast<ComHandle>(0x1);
  std::string why;
  EXPECT_EQ(OpenComPort("NUL", 250000, &handle, &why), FT_DEVICE_NOT_OPENED);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(why, "not a communications port");
  EXPECT_EQ(OpenComPort("COM250", 250000, &handle, &why), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(why, "no such device");
}

TEST(ComPortDriver, HandlesItDidNotGiveOutFailWithoutTouchingTheCallersBuffers) {
  ComPortDriver driver(ComPortOptions{{"COM250"}});
  int stranger = 0;
  for (FT_HANDLE h : {static_cast<FT_HANDLE>(nullptr), static_cast<FT_HANDLE>(&stranger)}) {
    uint32_t value = 77;
    const uint8_t frame[] = {0xCC};
    uint8_t buffer[1] = {0x5A};
    EXPECT_EQ(driver.FT_SetBaudRate(h, 250000), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.FT_SetBreakOn(h), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.FT_SetBreakOff(h), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.FT_Write(h, frame, 1, &value), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.FT_GetStatus(h, &value, &value, &value), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.FT_Read(h, buffer, 1, &value), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.FT_GetModemStatus(h, &value), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.FT_Close(h), FT_INVALID_HANDLE);
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(buffer[0], 0x5A);
  }
}

TEST(BackendChoiceOnWindows, VendorLibraryWhereInstalledComPortsAsTheSerialDriver) {
  const bool installed = d2xx::SharedLibrary("ftd2xx.dll").loaded();
  EXPECT_EQ(DefaultBackendName(), installed ? "d2xx" : "serial");

  auto serial = MakeBackend("serial", {"COM3", "\\\\.\\COM12"});
  ASSERT_TRUE(serial);
  EXPECT_NE(*serial, nullptr);
  auto path = MakeBackend("serial", {"COM3", "/dev/ttyUSB0"});
  ASSERT_FALSE(path);
  EXPECT_EQ(path.error().message, "'/dev/ttyUSB0' is not a COM port name; name ports as COM3");
  auto unknown = MakeBackend("ftdi", {});
  ASSERT_FALSE(unknown);
  EXPECT_EQ(unknown.error().message, "Unknown driver 'ftdi'; choose serial, d2xx or usbpro");

  // Without the vendor's ftd2xx.dll (as under Wine) the default is the COM ports, and the
  // vendor's driver named says what to do.
  EXPECT_TRUE(MakeBackend("", {}));
  EXPECT_TRUE(MakeBackend("", {"COM3"}));
  if (installed) {
    GTEST_SKIP() << "the FTDI D2XX library is installed on this machine";
  }
  auto d2xx = MakeBackend("d2xx", {});
  ASSERT_FALSE(d2xx);
  EXPECT_EQ(d2xx.error().message,
            "The FTDI D2XX library (ftd2xx.dll) is not installed; install FTDI's D2XX driver, "
            "or use --driver serial --port COMn");
}

}  // namespace
}  // namespace quillmont::com
