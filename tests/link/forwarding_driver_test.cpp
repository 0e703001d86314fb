// SPDX-License-Identifier: Apache-2.0
#include "link/forwarding_driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/scripted_driver.h"

namespace quillmont::testing {
namespace {

// A decorator that changes nothing: whatever reaches the adapter must be what was asked.
class PassThrough final : public ForwardingDriver {
 public:
  explicit PassThrough(D2xxDriver& inner) : inner_(inner) {}

 private:
  D2xxDriver& inner() override { return inner_; }
  D2xxDriver& inner_;
};

TEST(ForwardingDriverTest, EveryCallReachesTheInnerDriverWithItsArgumentsAndItsAnswerComesBack) {
  VirtualClock clock;
  ScriptedDriver adapter(clock);
  adapter.device_count = 3;
  adapter.Deliver({0xCC, 0x01});
  PassThrough driver(adapter);

  uint32_t count = 0;
  uint32_t version = 0;
  FT_HANDLE handle = nullptr;
  ASSERT_EQ(driver.FT_CreateDeviceInfoList(&count), FT_OK);
  ASSERT_EQ(driver.FT_GetLibraryVersion(&version), FT_OK);
  ASSERT_EQ(driver.FT_Open(2, &handle), FT_OK);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(version, adapter.library_version);
  EXPECT_EQ(handle, adapter.handle());
  ASSERT_EQ(driver.FT_SetBaudRate(handle, 250000), FT_OK);
  ASSERT_EQ(driver.FT_SetBreakOn(handle), FT_OK);
  ASSERT_EQ(driver.FT_SetBreakOff(handle), FT_OK);
  const uint8_t frame[] = {0xCC, 0x01, 0x18};
  uint32_t written = 0;
  ASSERT_EQ(driver.FT_Write(handle, frame, 3, &written), FT_OK);
  uint32_t rx = 0, tx = 0, events = 0, modem = 0, read = 0;
  ASSERT_EQ(driver.FT_GetStatus(handle, &rx, &tx, &events), FT_OK);
  EXPECT_EQ(rx, 2u);
  uint8_t buffer[2] = {};
  ASSERT_EQ(driver.FT_Read(handle, buffer, 2, &read), FT_OK);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + read), (std::vector<uint8_t>{0xCC, 0x01}));
  adapter.modem_status = FT_IO_ERROR;  // a refusal comes back as it is
  EXPECT_EQ(driver.FT_GetModemStatus(handle, &modem), FT_IO_ERROR);
  ASSERT_EQ(driver.FT_Close(handle), FT_OK);

  using Call = ScriptedDriver::Call;
  EXPECT_EQ(adapter.Calls(),
            (std::vector<Call>{Call::CreateDeviceInfoList, Call::GetLibraryVersion, Call::Open,
                               Call::SetBaudRate, Call::BreakOn, Call::BreakOff, Call::Write,
                               Call::GetStatus, Call::Read, Call::GetModemStatus, Call::Close}));
  EXPECT_EQ(adapter.events[2].value, 2u);       // the device index
  EXPECT_EQ(adapter.events[3].value, 250000u);  // the rate
  EXPECT_EQ(adapter.Writes(), (std::vector<std::vector<uint8_t>>{{0xCC, 0x01, 0x18}}));
}

}  // namespace
}  // namespace quillmont::testing
