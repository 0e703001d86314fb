// SPDX-License-Identifier: Apache-2.0
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
  int Read(uint8_t* buffer, int16_t wanted, int16_t timeout_ms) {
    const Result<int> got = ReadWithTimeout(io, link, buffer, wanted, timeout_ms);
    EXPECT_TRUE(got) << (got ? "" : got.error().message);
    return got ? *got : -1;
  }
};

// --- ReadWithTimeout: what is read, and how long it waits on the adapter ---

using ReadWithTimeoutTest = LineAccessTest;

TEST_F(ReadWithTimeoutTest, BytesAlreadyWaitingAreReadAtOnceAndOnlyAsManyAsWanted) {
  driver.Deliver({1, 2, 3, 4, 5});
  uint8_t buffer[8] = {};
  EXPECT_EQ(Read(buffer, 3, 200), 3);
  EXPECT_EQ(clock.NowMicros(), 0u);  // no wait at all
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), (std::vector<uint8_t>{1, 2, 3, 0}));
  EXPECT_EQ(driver.Pending(), 2u);
  EXPECT_EQ(Calls(), (std::vector<Call>{Call::GetStatus, Call::Read}));
  EXPECT_EQ(driver.events.back().value, 3u);  // asked the driver for exactly 3

  // Nothing wanted: nothing reaches the driver.
  EXPECT_EQ(Read(buffer, 0, 200), 0);
  EXPECT_EQ(Read(buffer, -4, 200), 0);
  EXPECT_EQ(driver.Count(Call::GetStatus), 1u);
}

TEST_F(ReadWithTimeoutTest, WaitsOnTheAdapterUntilTheWantedBytesAreIn) {
  driver.DeliverAt(3'000, {0x00});  // a reply's NUL, then the frame in two USB packets
  driver.DeliverAt(5'500, {0xCC, 0x01});
  driver.DeliverAt(7'250, {0x18, 0x4F});
  uint8_t buffer[5] = {};
  EXPECT_EQ(Read(buffer, 5, 200), 5);
  EXPECT_EQ(clock.NowMicros(), 7'250u);  // the moment the last byte came, not a poll later
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 5),
            (std::vector<uint8_t>{0x00, 0xCC, 0x01, 0x18, 0x4F}));
  EXPECT_EQ(driver.Count(Call::Read), 3u);  // each arrival read as it came
}

TEST_F(ReadWithTimeoutTest, TimeOutReturnsWhatCameByTheClock) {
  driver.DeliverAt(195'000, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  uint8_t buffer[24] = {};
  EXPECT_EQ(Read(buffer, 24, 200), 10);
  EXPECT_EQ(clock.NowMicros(), 200'000u);
  EXPECT_EQ(buffer[9], 10);

  // Silence: the whole time-out, then 0; a time-out of 0 or less looks once.
  EXPECT_EQ(Read(buffer, 24, 25), 0);
  EXPECT_EQ(clock.NowMicros(), 225'000u);
  EXPECT_EQ(Read(buffer, 4, 0), 0);
  EXPECT_EQ(Read(buffer, 4, -5), 0);
  EXPECT_EQ(clock.NowMicros(), 225'000u);
}

TEST_F(ReadWithTimeoutTest, ADriverWithoutItsOwnWaitIsLookedAtEveryMillisecond) {
  driver.wait_status = FT_NOT_SUPPORTED;
  driver.DeliverAt(4'300, {0xCC});
  uint8_t buffer[4] = {};
  EXPECT_EQ(Read(buffer, 1, 200), 1);
  EXPECT_EQ(clock.NowMicros(), 5'000u);
  EXPECT_EQ(clock.sleep_calls(), 5u);
  // The longest time-out ends after its looks: the count cannot wrap round.
  EXPECT_EQ(Read(buffer, 4, 32767), 0);
  EXPECT_EQ(clock.NowMicros(), 5'000u + 32'767'000u);
}

TEST_F(ReadWithTimeoutTest, ReadsAtMost256BytesPerCall) {
  std::vector<uint8_t> flood(300);
  for (size_t i = 0; i < flood.size(); ++i) {
    flood[i] = static_cast<uint8_t>(i % 200);
  }
  driver.Deliver(flood);
  uint8_t buffer[256] = {};  // exactly the cap: a read past it would trip the sanitizer
  EXPECT_EQ(Read(buffer, 1000, 1), 256);
  EXPECT_EQ(buffer[255], 55);
  EXPECT_EQ(driver.Pending(), 44u);
  EXPECT_EQ(driver.events.back().value, 256u);
}

TEST_F(ReadWithTimeoutTest, DriverFailuresAreErrorsThatSayWhy) {
  uint8_t buffer[8] = {};
  driver.Deliver({1, 2, 3});
  driver.status_status = FT_IO_ERROR;
  Result<int> got = ReadWithTimeout(io, link, buffer, 3, 200);
  ASSERT_FALSE(got);
  EXPECT_EQ(got.error().message, "the adapter's receive queue cannot be read (status 4)");
  EXPECT_EQ(driver.Count(Call::Read), 0u);

  driver.status_status = FT_OK;
  driver.read_status = FT_IO_ERROR;
  EXPECT_FALSE(ReadWithTimeout(io, link, buffer, 3, 1));
  driver.read_status = FT_OK;
  driver.wait_status = FT_IO_ERROR;  // the adapter went while it was waited on
  EXPECT_FALSE(ReadWithTimeout(io, link, buffer, 8, 50));
  EXPECT_EQ(clock.NowMicros(), 0u);
  EXPECT_EQ(diag.str(), "");  // a read never prints
}

// --- Without a link nothing waits, prints or reaches the driver ---

TEST_F(LineAccessTest, WithoutALinkEveryOperationRefusesAtOnce) {
  link = nullptr;
  uint8_t buffer[8] = {};
  driver.Deliver({1, 2, 3});
  const Result<int> read = ReadWithTimeout(io, link, buffer, 3, 200);
  ASSERT_FALSE(read);
  EXPECT_EQ(read.error().message, "no adapter is open");
  EXPECT_FALSE(SendBreak(io, link));
  EXPECT_FALSE(SendFrame(io, link, buffer, 3));
  EXPECT_FALSE(SetLinkBaud(io, link, 250000));
  EXPECT_FALSE(WaitForLine(io, link, 1000));
  EXPECT_EQ(clock.NowMicros(), 0u);
  EXPECT_EQ(diag.str(), "");
  EXPECT_TRUE(driver.events.empty());
  EXPECT_TRUE(TakeLineNotices(io).empty());
}

// --- OpenLink ---

TEST_F(LineAccessTest, OpenLinkPrintsVersionPortAndHandle) {
  link = nullptr;
  EXPECT_TRUE(OpenLink(io, link, 2));
  EXPECT_EQ(link, driver.handle());
  char handle_text[32];
  std::snprintf(handle_text, sizeof handle_text, "%p", driver.handle());
  EXPECT_EQ(diag.str(), std::string("FTDI Library version = 0x30216. Opening port 2... "
                                    "FT_Open succeeded, handle is ") +
                            handle_text + "\n");
  ASSERT_EQ(driver.Count(Call::Open), 1u);
  EXPECT_EQ(driver.events.back().value, 2u);
}

TEST_F(LineAccessTest, OpenLinkFailuresLeaveNoLink) {
  driver.version_status = FT_OTHER_ERROR;
  EXPECT_FALSE(OpenLink(io, link, 0));
  EXPECT_EQ(link, nullptr);  // cleared even though it was set before
  EXPECT_EQ(diag.str(), "Error reading library version.\n");
  EXPECT_EQ(driver.Count(Call::Open), 0u);

  diag.str("");
  driver.version_status = FT_OK;
  driver.open_status = FT_DEVICE_NOT_FOUND;
  const Status failed = OpenLink(io, link, 3);
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().message, "adapter 3 cannot be opened (status 2)");
  EXPECT_EQ(diag.str(), "FTDI Library version = 0x30216. Opening port 3... FT_Open(3) failed\n");

  diag.str("");
  driver.open_status = FT_OK;
  driver.open_gives_null_handle = true;
  EXPECT_FALSE(OpenLink(io, link, 0));
  EXPECT_EQ(link, nullptr);
  EXPECT_EQ(diag.str(), "FTDI Library version = 0x30216. Opening port 0... FT_Open(0) failed\n");
}

// --- SendBreak and SendFrame ---

TEST_F(LineAccessTest, BreakAndMarkAfterBreakKeepToE120ByTheClock) {
  clock.AdvanceMicros(5'000);
  const uint8_t frame[] = {0xCC, 0x01, 0x18};
  EXPECT_TRUE(SendFrame(io, link, frame, sizeof frame));
  ASSERT_EQ(Calls(), (std::vector<Call>{Call::BreakOn, Call::BreakOff, Call::Write}));
  EXPECT_EQ(driver.events[0].at_micros, 5'000u);
  EXPECT_EQ(driver.events[1].at_micros, 5'200u);  // a break of 200 us (176 to 352)
  EXPECT_EQ(driver.events[2].at_micros, 5'216u);  // a mark of 16 us (12 to 88)
  EXPECT_EQ(driver.events[2].bytes, std::vector<uint8_t>(frame, frame + 3));
  EXPECT_EQ(diag.str(), "");
  EXPECT_TRUE(TakeLineNotices(io).empty());
}

TEST_F(LineAccessTest, ARefusedBreakSendsNoFrameAndIsToldOnce) {
  driver.break_on_status = FT_IO_ERROR;
  const uint8_t frame[] = {0xCC, 0x01, 0x18};
  const Status sent = SendFrame(io, link, frame, sizeof frame);
  ASSERT_FALSE(sent);
  EXPECT_EQ(sent.error().message, "the adapter cannot send a break (status 4)");
  EXPECT_FALSE(SendFrame(io, link, frame, sizeof frame));
  EXPECT_EQ(Calls(), (std::vector<Call>{Call::BreakOn, Call::BreakOn}));  // no break-off, no frame
  EXPECT_EQ(diag.str(), "FT_SetBreak failed!\nFT_SetBreak failed!\n");
  const std::vector<std::string> notices = TakeLineNotices(io);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("the adapter cannot send a break"), std::string::npos);

  // A refused break-off is refused all the same; the next adapter is told of again.
  driver.break_on_status = FT_OK;
  driver.break_off_status = FT_INSUFFICIENT_RESOURCES;
  EXPECT_FALSE(SendBreak(io, link));
  EXPECT_TRUE(TakeLineNotices(io).empty());
  EXPECT_TRUE(OpenLink(io, link, 0));
  EXPECT_FALSE(SendBreak(io, link));
  EXPECT_EQ(TakeLineNotices(io).size(), 1u);
}

// A driver that makes a break of its own in its break-off call, as Linux's ch341 driver does for
// chips without a break register.
class SlowBreakDriver final : public ScriptedDriver {
 public:
  using ScriptedDriver::ScriptedDriver;
  VirtualClock* clock = nullptr;
  FT_STATUS FT_SetBreakOff(FT_HANDLE handle) override {
    clock->SleepMicros(199'800);
    return ScriptedDriver::FT_SetBreakOff(handle);
  }
};

TEST(SlowBreak, ABreakThatTakesTheDriverOver50MsIsToldOnce) {
  VirtualClock clock;
  SlowBreakDriver driver(clock);
  driver.clock = &clock;
  std::ostringstream diag;
  LineIo io{driver, clock, diag};
  LinkHandle link = driver.handle();
  EXPECT_TRUE(SendBreak(io, link));
  EXPECT_TRUE(SendBreak(io, link));
  const std::vector<std::string> notices = TakeLineNotices(io);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].substr(0, 50), "The adapter took 200 ms to send a break: its drive");
}

// --- SetLinkBaud ---

TEST_F(LineAccessTest, SetLinkBaudReportsBothOutcomes) {
  EXPECT_TRUE(SetLinkBaud(io, link, 250000));
  EXPECT_EQ(driver.baud_rate, 250000u);
  EXPECT_EQ(diag.str(), "BaudRate set to 250000\n");

  diag.str("");
  driver.baud_status = FT_INVALID_BAUD_RATE;
  const Status refused = SetLinkBaud(io, link, 300);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message, "the adapter refused 300 baud (status 7)");
  EXPECT_EQ(driver.baud_rate, 250000u);
  EXPECT_EQ(diag.str(), "FT_SetBaudRate failed!\n");
  EXPECT_EQ(clock.sleep_calls(), 0u);
}

}  // namespace
}  // namespace quillmont
