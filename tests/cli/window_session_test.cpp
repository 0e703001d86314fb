// The window core on the console, in process, on the simulated line: the waits counted in
// ticks, the answers the device commands get, and what the session leaves alone.
#include "cli/window_session.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "../update/srec2_test_files.h"
#include "app/control_ids.h"
#include "rdm/message.h"
#include "sim/simulated_line.h"

namespace quillmont::cli {
namespace {

std::unique_ptr<DriverSet> SimDrivers(const std::vector<std::string>& faults = {},
                                      int fixtures = 1) {
  DriverOptions options;
  options.simulate = true;
  options.sim.fast = true;
  options.sim.fixtures = fixtures;
  options.sim.faults = faults;
  Result<std::unique_ptr<DriverSet>> drivers = MakeDriver(options);
  EXPECT_TRUE(drivers) << (drivers ? "" : drivers.error().message);
  return drivers ? std::move(drivers).value() : nullptr;
}

class WindowSessionTest : public ::testing::Test {
 protected:
  void Open(const std::vector<std::string>& faults = {}, int fixtures = 1) {
    drivers = SimDrivers(faults, fixtures);
    session = std::make_unique<WindowSession>(*drivers, diag, SessionSink{});
  }
  SimulatedFixture& Fixture() { return drivers->simulated_line()->fixture(0, 0); }

  std::ostringstream diag;
  std::unique_ptr<DriverSet> drivers;
  std::unique_ptr<WindowSession> session;
};

TEST_F(WindowSessionTest, SetAddressReachesTheFixtureAndAnOutOfRangeOneIsRefused) {
  Open();
  ASSERT_TRUE(session->Start(""));
  ASSERT_EQ(session->Connect(""), Reach::kDevice);
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

TEST_F(WindowSessionTest, ARequestWithoutAnswerIsSentThreeTimesThenGivenUp) {
  Open({"drop-rate=1"});
  ASSERT_TRUE(session->Start(""));
  ASSERT_EQ(session->Connect("4F 4C 12 34 56 78"), Reach::kDevice);
  const int64_t before = session->ticks_run();
  UpdaterWindow& w = session->window();
  EXPECT_EQ(session->SendAndAwait([&w] { w.OnIdentifyButton(); }).answer, Answer::kNone);
  EXPECT_EQ(session->ticks_run() - before, kRequestAttempts * kAnswerWaitTicks);
  // The fixture heard every request; only its answers were lost.
  EXPECT_TRUE(Fixture().identifying());
  EXPECT_EQ(drivers->simulated_line()->replies(0), static_cast<uint64_t>(kRequestAttempts));
}

TEST_F(WindowSessionTest, WaitsAreBoundedInTicks) {
  // The adapter is gone before the first tick: the search gives up after its ticks.
  Open({"unplug@0us"});
  ASSERT_TRUE(session->Start(""));
  EXPECT_EQ(session->Connect(""), Reach::kNoAdapter);
  EXPECT_EQ(session->ticks_run(), kLinkWaitTicks);

  // Two fixtures collide in the window's discovery: two failed attempts, 300 ticks apart.
  Open({}, 2);
  ASSERT_TRUE(session->Start(""));
  EXPECT_EQ(session->Connect(""), Reach::kNoDevice);
  EXPECT_GT(session->ticks_run(), 300);
  EXPECT_LT(session->ticks_run(), 320);
}

TEST_F(WindowSessionTest, TheRateIsAppliedAsTheComboAppliesItAndNoSettingsFileIsWritten) {
  testing::TestFolder folder;
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  Open();
  EXPECT_FALSE(session->Start("12345"));
  ASSERT_TRUE(session->Start("115200"));
  // The fixture listens at 250000: at 115200 nothing it hears is a request.
  EXPECT_EQ(session->Connect(""), Reach::kNoDevice);
  EXPECT_EQ(drivers->simulated_line()->baud(0), 115200u);
  std::filesystem::current_path(old);
  EXPECT_FALSE(std::filesystem::exists(folder.path() / kSettingsFileName));
}

}  // namespace
}  // namespace quillmont::cli
