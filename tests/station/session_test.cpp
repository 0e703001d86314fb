// SPDX-License-Identifier: Apache-2.0
// The window core without a window, in process, on the simulated line: the waits counted in
// ticks, the answers the device commands get, and what the session leaves alone.
#include "station/session.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "../update/srec2_test_files.h"
#include "app/control_ids.h"
#include "drivers/driver_choice.h"
#include "rdm/message.h"
#include "sim/simulated_line.h"

namespace quillmont {
namespace {

std::unique_ptr<DriverSet> SimDrivers(const std::vector<std::string>& faults = {},
                                      int fixtures = 1) {
  DriverOptions options;
  options.simulate = true;
  options.sim.fast = true;
  options.sim.fixtures = fixtures;
  options.sim.faults = faults;
  Result<std::unique_ptr<DriverSet>> drivers = MakeDriver(*ParseDriverOptions(options));
  EXPECT_TRUE(drivers) << (drivers ? "" : drivers.error().message);
  return drivers ? std::move(drivers).value() : nullptr;
}

class SessionTest : public ::testing::Test {
 protected:
  void Open(const std::vector<std::string>& faults = {}, int fixtures = 1,
            const std::string& baud = "") {
    session.reset();  // it closes its port on the driver it was given
    drivers = SimDrivers(faults, fixtures);
    settings.baud = baud;
    session = std::make_unique<Session>(*drivers, events, settings);
  }
  SimulatedFixture& Fixture() { return drivers->simulated_line()->fixture(0, 0); }

  StationEvents events;
  RunSettings settings;
  std::unique_ptr<DriverSet> drivers;
  std::unique_ptr<Session> session;
};

TEST_F(SessionTest, SetAddressReachesTheFixtureAndAnOutOfRangeOneIsRefused) {
  Open();
  ASSERT_TRUE(session->Start());
  ASSERT_EQ(session->Connect(std::nullopt), Reach::kDevice);
  Result<DeviceInfo> info = session->ReadDeviceInfo();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->dmx_address, 1);

  UpdaterWindow& w = session->window();
  const auto set = [&w](const char* text) {
    return [&w, text] {
      w.port().SetControlText(kDmxAddressEdit, text);
      w.OnSetAddressButton();
    };
  };
  EXPECT_EQ(session->SendAndAwait(set("42")).answer, Answer::kAck);
  EXPECT_EQ(Fixture().dmx_start_address(), 42);
  // The window refuses an address outside 1 to 512 itself: nothing reaches the fixture.
  const SetAnswer refused = session->SendAndAwait(set("600"));
  EXPECT_EQ(refused.answer, Answer::kNone);
  EXPECT_EQ(Fixture().dmx_start_address(), 42);
  info = session->ReadDeviceInfo();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->dmx_address, 42);

  EXPECT_EQ(session->SendAndAwait([&w] { w.OnIdentifyButton(); }).answer, Answer::kAck);
  EXPECT_TRUE(Fixture().identifying());
}

TEST_F(SessionTest, ARequestWithoutAnswerIsSentThreeTimesThenGivenUp) {
  Open({"drop-rate=1"});
  ASSERT_TRUE(session->Start());
  ASSERT_EQ(session->Connect(RdmUid{0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78}), Reach::kDevice);
  const int64_t before = session->ticks_run();
  UpdaterWindow& w = session->window();
  EXPECT_EQ(session->SendAndAwait([&w] { w.OnIdentifyButton(); }).answer, Answer::kNone);
  EXPECT_EQ(session->ticks_run() - before, kRequestAttempts * kAnswerWaitTicks);
  // The fixture heard every request; only its answers were lost.
  EXPECT_TRUE(Fixture().identifying());
  EXPECT_EQ(drivers->simulated_line()->replies(0), static_cast<uint64_t>(kRequestAttempts));
}

TEST_F(SessionTest, WaitsAreBoundedInTicks) {
  // The adapter is gone before the first tick: the search gives up after its ticks.
  Open({"unplug@0us"});
  ASSERT_TRUE(session->Start());
  EXPECT_EQ(session->Connect(std::nullopt), Reach::kNoAdapter);
  EXPECT_EQ(session->ticks_run(), kLinkWaitTicks);

  // Two fixtures collide in the window's discovery: two failed attempts, 300 ticks apart.
  Open({}, 2);
  ASSERT_TRUE(session->Start());
  EXPECT_EQ(session->Connect(std::nullopt), Reach::kNoDevice);
  EXPECT_GT(session->ticks_run(), 300);
  EXPECT_LT(session->ticks_run(), 320);
}

TEST_F(SessionTest, TheRateIsAppliedAsTheComboAppliesItAndNoSettingsFileIsWritten) {
  testing::TestFolder folder;
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  Open({}, 1, "12345");
  EXPECT_FALSE(session->Start());
  Open({}, 1, "115200");
  ASSERT_TRUE(session->Start());
  // The fixture listens at 250000: at 115200 nothing it hears is a request.
  EXPECT_EQ(session->Connect(std::nullopt), Reach::kNoDevice);
  EXPECT_EQ(drivers->simulated_line()->baud(0), 115200u);
  std::filesystem::current_path(old);
  EXPECT_FALSE(std::filesystem::exists(folder.path() / kSettingsFileName));
}

}  // namespace
}  // namespace quillmont
