// SPDX-License-Identifier: Apache-2.0
#include "rdm/request.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "rdm/hex_bytes.h"
#include "support/scripted_driver.h"

namespace quillmont {
namespace {

using testing::ScriptedDriver;
using Call = ScriptedDriver::Call;

constexpr RdmUid kTarget = {0x4F, 0x4C, 0x00, 0x00, 0x00, 0x00};

class SendRdmRequestTest : public ::testing::Test {
 protected:
  VirtualClock clock;
  ScriptedDriver driver{clock};
  std::ostringstream diag;
  LineIo io{driver, clock, diag};
  LinkHandle link = driver.handle();

  std::vector<Call> Calls() const { return driver.Calls(); }
};

TEST_F(SendRdmRequestTest, RequestsGoOutByteExactAfterABreak) {
  const uint8_t address[] = {0x00, 0x01};
  const uint8_t identify_on[] = {0x01};
  EXPECT_EQ(SendRdmRequest(io, link, kTarget, nullptr, 0, 0, GET_COMMAND, DEVICE_MODEL_DESCRIPTION),
            0);
  EXPECT_EQ(SendRdmRequest(io, link, kTarget, address, 2, 0, SET_COMMAND, DMX_START_ADDRESS), 0);
  EXPECT_EQ(SendRdmRequest(io, link, kTarget, identify_on, 1, 0, SET_COMMAND, IDENTIFY_DEVICE), 0);

  const auto writes = driver.Writes();
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0], HexBytes("CC 01 18 4F 4C 00 00 00 00 4F 4C FE 01 00 00 00 00 00 00 00 20 "
                                "00 80 00 03 BA"));
  EXPECT_EQ(writes[1], HexBytes("CC 01 1A 4F 4C 00 00 00 00 4F 4C FE 01 00 00 00 00 00 00 00 30 "
                                "00 F0 02 00 01 04 3F"));
  EXPECT_EQ(writes[2], HexBytes("CC 01 19 4F 4C 00 00 00 00 4F 4C FE 01 00 00 00 00 00 00 00 30 "
                                "10 00 01 01 03 5D"));
  const std::vector<Call> one = {Call::BreakOn, Call::BreakOff, Call::Write};
  std::vector<Call> three;
  for (int i = 0; i < 3; ++i) {
    three.insert(three.end(), one.begin(), one.end());
  }
  EXPECT_EQ(Calls(), three);
  // E1.20's break (176 to 352 us) and mark after it (12 to 88 us), by the clock.
  EXPECT_EQ(driver.events[1].at_micros - driver.events[0].at_micros, 200u);
  EXPECT_EQ(driver.events[2].at_micros - driver.events[1].at_micros, 16u);
}

TEST_F(SendRdmRequestTest, SubDeviceAndPidGoHighByteFirst) {
  EXPECT_EQ(
      SendRdmRequest(io, link, kBroadcastUid, nullptr, 0, 0x0102, SET_COMMAND, PID_BOOTLOADER), 0);
  const auto frame = driver.Writes().at(0);
  ASSERT_EQ(frame.size(), 26u);
  EXPECT_EQ(frame[18], 0x01);
  EXPECT_EQ(frame[19], 0x02);
  EXPECT_EQ(frame[21], 0xCA);
  EXPECT_EQ(frame[22], 0x55);
  EXPECT_TRUE(IsFrameChecksumGood(frame.data(), frame.size()));
}

TEST_F(SendRdmRequestTest, LargestParameterDataFillsTheWhole256ByteBuffer) {
  std::vector<uint8_t> data(230);
  for (size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<uint8_t>(0xA0 + i);
  }
  EXPECT_EQ(SendRdmRequest(io, link, kTarget, data.data(), 230, 0, SET_COMMAND, PID_BOOTLOADER), 0);
  const auto frame = driver.Writes().at(0);
  ASSERT_EQ(frame.size(), 256u);
  EXPECT_EQ(frame[2], 254);
  EXPECT_EQ(frame[23], 230);
  EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 24, frame.begin() + 254), data);
  const uint16_t sum = RdmChecksum(frame.data(), 254);
  EXPECT_EQ(frame[254], sum >> 8);
  EXPECT_EQ(frame[255], sum & 0xFF);
}

TEST_F(SendRdmRequestTest, RefusedRequestsPutNothingOnTheLine) {
  std::vector<uint8_t> data(231, 0x11);
  EXPECT_EQ(SendRdmRequest(io, link, kTarget, data.data(), 231, 0, SET_COMMAND, PID_BOOTLOADER),
            -1);
  EXPECT_EQ(SendRdmRequest(io, link, kTarget, data.data(), 255, 0, SET_COMMAND, PID_BOOTLOADER),
            -1);
  // Parameter data announced but not given.
  EXPECT_EQ(SendRdmRequest(io, link, kTarget, nullptr, 2, 0, SET_COMMAND, DMX_START_ADDRESS), -1);
  EXPECT_TRUE(driver.events.empty());  // not even a break
  EXPECT_EQ(clock.sleep_calls(), 0u);
}

TEST_F(SendRdmRequestTest, NoLinkOrRefusedWriteGivesMinusOne) {
  LinkHandle no_link = nullptr;
  EXPECT_EQ(
      SendRdmRequest(io, no_link, kTarget, nullptr, 0, 0, GET_COMMAND, DEVICE_MODEL_DESCRIPTION),
      -1);
  EXPECT_TRUE(driver.events.empty());
  EXPECT_EQ(diag.str(), "");

  driver.write_status = FT_IO_ERROR;
  EXPECT_EQ(SendRdmRequest(io, link, kTarget, nullptr, 0, 0, GET_COMMAND, DEVICE_MODEL_DESCRIPTION),
            -1);
  EXPECT_EQ(driver.Count(Call::Write), 1u);  // tried once, not again
  EXPECT_EQ(diag.str(), "");
}

TEST_F(SendRdmRequestTest, ARefusedBreakSendsNoFrame) {
  driver.break_on_status = FT_IO_ERROR;
  EXPECT_EQ(SendRdmRequest(io, link, kTarget, nullptr, 0, 0, GET_COMMAND, SOFTWARE_VERSION_LABEL),
            -1);
  EXPECT_EQ(driver.Count(Call::Write), 0u);  // no fixture takes a frame without its break
  EXPECT_EQ(diag.str(), "FT_SetBreak failed!\n");
}

}  // namespace
}  // namespace quillmont
