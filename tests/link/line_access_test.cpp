#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "link/line.h"
#include "support/scripted_driver.h"

namespace quillmont {
namespace {

using testing::ScriptedDriver;
using Call = ScriptedDriver::Call;

class LineAccessTest : public ::testing::Test {
 protected:
  VirtualClock clock;
  ScriptedDriver driver{clock};
  std::ostringstream diag;
  LineIo io{driver, clock, diag};
  LinkHandle link = driver.handle();

  std::vector<Call> Calls() const { return driver.Calls(); }
};

// --- ReadWithTimeout: what is read, and how many 10 ms polls it takes ---

using ReadWithTimeoutTest = LineAccessTest;

TEST_F(ReadWithTimeoutTest, BytesAlreadyWaitingStillCostOnePoll) {
  driver.Deliver({1, 2, 3, 4, 5});
  uint8_t buffer[8] = {};
  EXPECT_EQ(ReadWithTimeout(io, link, buffer, 3, 1), 3);
  EXPECT_EQ(clock.sleep_calls(), 1u);
  EXPECT_EQ(clock.slept_ms(), 10u);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), (std::vector<uint8_t>{1, 2, 3, 0}));
  EXPECT_EQ(driver.Pending(), 2u);
  EXPECT_EQ(Calls(), (std::vector<Call>{Call::GetStatus, Call::Read}));
  EXPECT_EQ(driver.events.back().value, 3u);  // asked the driver for exactly 3
}

TEST_F(ReadWithTimeoutTest, ShortTimeOutReadsWhatCameInOnePoll) {
  driver.Deliver({0xCC, 0x01});
  uint8_t buffer[3] = {};
  EXPECT_EQ(ReadWithTimeout(io, link, buffer, 3, 1), 2);
  EXPECT_EQ(clock.sleep_calls(), 1u);
  EXPECT_EQ(buffer[0], 0xCC);
  EXPECT_EQ(buffer[1], 0x01);
  EXPECT_EQ(driver.Pending(), 0u);
}

TEST_F(ReadWithTimeoutTest, NothingArrivingTakesTwentyPollsForTwoHundredMs) {
  uint8_t buffer[24] = {};
  EXPECT_EQ(ReadWithTimeout(io, link, buffer, 24, 200), 0);
  EXPECT_EQ(clock.sleep_calls(), 20u);
  EXPECT_EQ(clock.slept_ms(), 200u);
  EXPECT_EQ(driver.Count(Call::GetStatus), 20u);
  EXPECT_EQ(driver.Count(Call::Read), 0u);
}

TEST_F(ReadWithTimeoutTest, TimeOutsRoundUpToWholePolls) {
  uint8_t buffer[4] = {};
  const struct {
    int16_t timeout_ms;
    uint64_t polls;
  } cases[] = {{0, 1}, {-5, 1}, {10, 1}, {11, 2}, {20, 2}, {25, 3}};
  for (const auto& c : cases) {
    VirtualClock local_clock;
    ScriptedDriver local_driver(local_clock);
    LineIo local_io{local_driver, local_clock, diag};
    LinkHandle local_link = local_driver.handle();
    EXPECT_EQ(ReadWithTimeout(local_io, local_link, buffer, 4, c.timeout_ms), 0);
    EXPECT_EQ(local_clock.sleep_calls(), c.polls) << "time-out " << c.timeout_ms;
  }
}

TEST_F(ReadWithTimeoutTest, StopsPollingAsSoonAsTheWantedBytesWait) {
  std::vector<uint8_t> reply(24, 0x5A);
  driver.DeliverAt(55'000, reply);  // arrives between the 5th and the 6th poll
  uint8_t buffer[24] = {};
  EXPECT_EQ(ReadWithTimeout(io, link, buffer, 24, 200), 24);
  EXPECT_EQ(clock.sleep_calls(), 6u);
  EXPECT_EQ(clock.NowMicros(), 60'000u);
}

TEST_F(ReadWithTimeoutTest, TimeOutReadsAPartialArrival) {
  driver.DeliverAt(195'000, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  uint8_t buffer[24] = {};
  EXPECT_EQ(ReadWithTimeout(io, link, buffer, 24, 200), 10);
  EXPECT_EQ(clock.sleep_calls(), 20u);
  EXPECT_EQ(buffer[9], 10);
}

TEST_F(ReadWithTimeoutTest, ReadsAtMost256BytesPerCall) {
  std::vector<uint8_t> flood(300);
  for (size_t i = 0; i < flood.size(); ++i) {
    flood[i] = static_cast<uint8_t>(i % 200);
  }
  driver.Deliver(flood);
  uint8_t buffer[256] = {};  // exactly the cap: a read past it would trip the sanitizer
  EXPECT_EQ(ReadWithTimeout(io, link, buffer, 256, 1), 256);
  EXPECT_EQ(buffer[255], 55);
  EXPECT_EQ(driver.Pending(), 44u);
  // More wanted than the cap: still 256.
  driver.Deliver(flood);
  EXPECT_EQ(ReadWithTimeout(io, link, buffer, 1000, 1), 256);
  EXPECT_EQ(buffer[0], 56);  // the 44 left over come first
  EXPECT_EQ(buffer[44], 0);
  EXPECT_EQ(driver.events.back().value, 256u);
}

TEST_F(ReadWithTimeoutTest, NothingWantedReadsNothing) {
  driver.Deliver({1, 2, 3});
  uint8_t buffer[1] = {0xEE};
  EXPECT_EQ(ReadWithTimeout(io, link, buffer, 0, 200), 0);
  EXPECT_EQ(ReadWithTimeout(io, link, buffer, -4, 200), 0);
  EXPECT_EQ(clock.sleep_calls(), 2u);
  EXPECT_EQ(driver.Count(Call::Read), 0u);
  EXPECT_EQ(buffer[0], 0xEE);
}

TEST_F(ReadWithTimeoutTest, LongestTimeOutEndsAfterItsPolls) {
  // 32767 ms needs 3277 polls; the elapsed count must not wrap round on the way.
  uint8_t buffer[4] = {};
  EXPECT_EQ(ReadWithTimeout(io, link, buffer, 4, 32767), 0);
  EXPECT_EQ(clock.sleep_calls(), 3277u);
}

TEST_F(ReadWithTimeoutTest, DriverFailuresGiveMinusOne) {
  uint8_t buffer[8] = {};
  // A failing status query ends the call at its first poll, bytes waiting or not.
  driver.status_status = FT_IO_ERROR;
  EXPECT_EQ(ReadWithTimeout(io, link, buffer, 24, 200), -1);
  EXPECT_EQ(clock.sleep_calls(), 1u);
  driver.Deliver({1, 2, 3});
  EXPECT_EQ(ReadWithTimeout(io, link, buffer, 3, 200), -1);
  EXPECT_EQ(clock.sleep_calls(), 2u);
  EXPECT_EQ(driver.Count(Call::Read), 0u);

  driver.status_status = FT_OK;
  driver.read_status = FT_IO_ERROR;
  EXPECT_EQ(ReadWithTimeout(io, link, buffer, 3, 1), -1);
  EXPECT_EQ(driver.Count(Call::Read), 1u);
  EXPECT_EQ(diag.str(), "");  // a read never prints
}

// --- Without a link nothing waits, prints or reaches the driver ---

TEST_F(LineAccessTest, WithoutALinkEveryOperationRefusesAtOnce) {
  link = nullptr;
  uint8_t buffer[8] = {};
  driver.Deliver({1, 2, 3});
  EXPECT_EQ(ReadWithTimeout(io, link, buffer, 3, 200), -1);
  EXPECT_EQ(SendBreak(io, link), -1);
  EXPECT_EQ(SetLinkBaud(io, link, 250000), -1);
  EXPECT_EQ(clock.sleep_calls(), 0u);
  EXPECT_EQ(clock.NowMicros(), 0u);
  EXPECT_EQ(diag.str(), "");
  EXPECT_TRUE(driver.events.empty());
}

// --- OpenLink ---

TEST_F(LineAccessTest, OpenLinkPrintsVersionPortAndHandle) {
  link = nullptr;
  EXPECT_EQ(OpenLink(io, link, 2), FT_OK);
  EXPECT_EQ(link, driver.handle());
  char handle_text[32];
  std::snprintf(handle_text, sizeof handle_text, "%p", driver.handle());
  EXPECT_EQ(diag.str(), std::string("FTDI Library version = 0x30216. Opening port 2... "
                                    "FT_Open succeeded, handle is ") +
                            handle_text + "\n");
  ASSERT_EQ(driver.Count(Call::Open), 1u);
  EXPECT_EQ(driver.events.back().value, 2u);
}

TEST_F(LineAccessTest, OpenLinkWithoutLibraryVersionOpensNothing) {
  driver.version_status = FT_OTHER_ERROR;
  EXPECT_EQ(OpenLink(io, link, 0), FT_OTHER_ERROR);
  EXPECT_EQ(link, nullptr);  // cleared even though it was set before
  EXPECT_EQ(diag.str(), "Error reading library version.\n");
  EXPECT_EQ(driver.Count(Call::Open), 0u);
}

TEST_F(LineAccessTest, OpenLinkFailingLeavesNoLink) {
  driver.open_status = FT_DEVICE_NOT_FOUND;
  EXPECT_EQ(OpenLink(io, link, 3), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(link, nullptr);
  EXPECT_EQ(diag.str(), "FTDI Library version = 0x30216. Opening port 3... FT_Open(3) failed\n");
}

TEST_F(LineAccessTest, OpenLinkRefusesASuccessWithoutHandle) {
  driver.open_gives_null_handle = true;
  EXPECT_EQ(OpenLink(io, link, 0), FT_INVALID_HANDLE);
  EXPECT_EQ(link, nullptr);
  EXPECT_EQ(diag.str(), "FTDI Library version = 0x30216. Opening port 0... FT_Open(0) failed\n");
}

// --- SendBreak ---

TEST_F(LineAccessTest, BreakIsHeldForOneMillisecond) {
  clock.AdvanceMicros(5'000);
  EXPECT_EQ(SendBreak(io, link), 0);
  ASSERT_EQ(Calls(), (std::vector<Call>{Call::BreakOn, Call::BreakOff}));
  EXPECT_EQ(driver.events[0].at_micros, 5'000u);
  EXPECT_EQ(driver.events[1].at_micros, 6'000u);
  EXPECT_EQ(clock.sleep_calls(), 1u);  // and no wait after the break
  EXPECT_EQ(diag.str(), "");
}

TEST_F(LineAccessTest, RefusedBreakOnSkipsBreakOff) {
  driver.break_on_status = FT_IO_ERROR;
  EXPECT_EQ(SendBreak(io, link), static_cast<int32_t>(FT_IO_ERROR));
  EXPECT_EQ(Calls(), (std::vector<Call>{Call::BreakOn}));
  EXPECT_EQ(clock.sleep_calls(), 0u);
  EXPECT_EQ(diag.str(), "FT_SetBreak failed!\n");
}

TEST_F(LineAccessTest, RefusedBreakOffIsReported) {
  driver.break_off_status = FT_INSUFFICIENT_RESOURCES;
  EXPECT_EQ(SendBreak(io, link), static_cast<int32_t>(FT_INSUFFICIENT_RESOURCES));
  EXPECT_EQ(Calls(), (std::vector<Call>{Call::BreakOn, Call::BreakOff}));
  EXPECT_EQ(clock.slept_ms(), 1u);
  EXPECT_EQ(diag.str(), "FT_SetBreak failed!\n");
}

// --- SetLinkBaud ---

TEST_F(LineAccessTest, SetLinkBaudReportsBothOutcomes) {
  EXPECT_EQ(SetLinkBaud(io, link, 250000), 0);
  EXPECT_EQ(driver.baud_rate, 250000u);
  EXPECT_EQ(diag.str(), "BaudRate set to 250000\n");

  diag.str("");
  driver.baud_status = FT_INVALID_BAUD_RATE;
  EXPECT_EQ(SetLinkBaud(io, link, 300), static_cast<int32_t>(FT_INVALID_BAUD_RATE));
  EXPECT_EQ(driver.baud_rate, 250000u);
  EXPECT_EQ(diag.str(), "FT_SetBaudRate failed!\n");
  EXPECT_EQ(clock.sleep_calls(), 0u);
}

}  // namespace
}  // namespace quillmont
