// SPDX-License-Identifier: Apache-2.0
// Start-up, the settings file, the log, the system menu and the three ways the window ends.
#include <gtest/gtest.h>

#include "app/updater_app.h"
#include "support/window_harness.h"

namespace quillmont {
namespace {

using testing::RecordingWindowPort;
using testing::ScriptedDriver;
using testing::ScriptedWindowHarness;
using Call = ScriptedDriver::Call;

class LifecycleTest : public ::testing::Test, public ScriptedWindowHarness {
 protected:
  std::string BaudText() const { return std::string(window.baud_text.data()); }
};

TEST_F(LifecycleTest, AFirstStartWithoutSettingsShowsTheDefaults) {
  Init();
  EXPECT_EQ(port.combos[kBaudCombo].entries.size(), 14u);
  EXPECT_EQ(port.combos[kBaudCombo].entries.front(), "150");
  EXPECT_EQ(port.SelectedText(kBaudCombo), "250000");
  EXPECT_EQ(port.Text(kUidEdit), "4F 4C 00 00 00 00");
  EXPECT_EQ(port.Text(kDmxAddressEdit), "0");
  EXPECT_EQ(port.Text(kStatusLine), "Not Connected");
  EXPECT_EQ(port.Text(kSubDeviceLabel), "0");
  EXPECT_EQ(window.target_uid, kInitialTargetUid);
  ASSERT_EQ(port.timer_events.size(), 1u);
  EXPECT_EQ(port.timer_events[0].id, 1);
  EXPECT_EQ(port.timer_events[0].period_ms, 10);
  EXPECT_EQ(window.progress_rect.top, 240);
  EXPECT_EQ(window.progress_rect.bottom, 414);
  EXPECT_FALSE(SettingsExist()) << "starting writes nothing";
  EXPECT_TRUE(driver.events.empty()) << "the adapter is first looked for by the tick";
}

TEST_F(LifecycleTest, ASavedRateIsSelectedAndAppliedWhenTheLinkOpens) {
  WriteSettings(std::string("9600\0\x11\x22\x33\x44\x55", 10));
  Init();
  EXPECT_EQ(port.SelectedText(kBaudCombo), "9600");
  Ticks(1);
  EXPECT_EQ(driver.baud_rate, 9600u);
}

TEST_F(LifecycleTest, AShortRecordReplacesOnlyItsOwnBytes) {
  WriteSettings("9600");
  Init();
  EXPECT_EQ(BaudText(), "960000");
  EXPECT_EQ(port.combos[kBaudCombo].selected, -1);
  Ticks(1);
  EXPECT_EQ(driver.baud_rate, 960000u) << "the text is still the rate the link opens with";
}

TEST_F(LifecycleTest, ARecordWithoutAZeroByteIsTakenAsItsFirstNineCharacters) {
  WriteSettings("1234567890");
  Init();
  EXPECT_EQ(BaudText(), "123456789");
  EXPECT_EQ(window.baud_text[9], '\0');
  EXPECT_EQ(port.combos[kBaudCombo].selected, -1);
  // A longer file is read no further than its first record.
  WriteSettings(
      std::string("500000\0\0\0\0"
                  "1000000\0\0\0",
                  20));
  EXPECT_EQ(window.LoadSettings(), 1);
  EXPECT_EQ(BaudText(), "500000");
}

TEST_F(LifecycleTest, AMissingOrUnwritableSettingsFileChangesNothing) {
  Init();
  EXPECT_EQ(window.LoadSettings(), 0);
  EXPECT_EQ(BaudText(), "250000");
  window.settings_path = dir.path().string();  // a folder cannot be opened as a file
  window.SaveSettings();
  window.LoadSettings();
  EXPECT_EQ(BaudText(), "250000");
  EXPECT_TRUE(std::filesystem::is_directory(dir.path()));
  EXPECT_TRUE(port.message_boxes.empty());
}

TEST_F(LifecycleTest, TheCloseBoxSavesStopsTheTimerAndEnds) {
  Init();
  port.Type(kDmxAddressEdit, "12");
  window.OnClose();
  EXPECT_EQ(ReadSettings(), std::string("250000\0\0\0\0", 10));
  EXPECT_FALSE(port.timer_running);
  EXPECT_EQ(port.timer_events.back().id, window.timer_id);
  EXPECT_EQ(port.end_result, kResultCancel);
  EXPECT_EQ(window.dmx_address_text, "12") << "the texts were read back";
}

TEST_F(LifecycleTest, ExitAndEscapeEndWithoutSaving) {
  Init();
  port.Type(kUidEdit, "01 02");
  window.OnExitButton();
  EXPECT_EQ(port.end_result, kResultOk);
  EXPECT_EQ(window.uid_text, "01 02");
  EXPECT_FALSE(SettingsExist());

  window.OnCancel();
  EXPECT_EQ(port.end_result, kResultCancel);
  EXPECT_FALSE(SettingsExist());
  EXPECT_TRUE(port.timer_running);
}

TEST_F(LifecycleTest, DuringAnUpdateEveryWayOutAsksAndOnlyYesAbortsAndEnds) {
  Init();
  ASSERT_TRUE(window.job.Start());
  window.OnExitButton();
  window.OnCancel();
  window.OnClose();
  EXPECT_EQ(port.questions, std::vector<std::string>(3, kAbortAndExitQuestion));
  EXPECT_FALSE(port.end_result.has_value()) << "No by default: the window stays";
  EXPECT_TRUE(window.job.running());
  EXPECT_FALSE(SettingsExist());
  EXPECT_TRUE(port.timer_running);

  port.answers = {false, false, false, true};
  window.OnClose();
  EXPECT_FALSE(window.job.running());
  EXPECT_NE(window.log_text.find("Operation Aborted by User."), std::string::npos);
  EXPECT_EQ(port.end_result, kResultCancel);
  EXPECT_TRUE(SettingsExist());

  // With no update running, nothing is asked.
  window.OnExitButton();
  EXPECT_EQ(port.questions.size(), 4u);
  EXPECT_EQ(port.end_result, kResultOk);
}

TEST_F(LifecycleTest, TheAboutEntryOpensTheAboutBoxWhileTicksGoOn) {
  Init();
  port.on_about_box = [&] { Ticks(2); };
  window.OnSystemCommand(16);
  window.OnSystemCommand(0x13);  // the low four bits are not looked at
  EXPECT_EQ(port.about_boxes, 2);
  EXPECT_EQ(driver.Count(Call::Open), 1u);
  window.OnSystemCommand(0xF060);
  window.OnSystemCommand(32);
  EXPECT_EQ(port.default_system_commands, (std::vector<int>{0xF060, 32}));
  EXPECT_EQ(port.about_boxes, 2);
}

TEST_F(LifecycleTest, AppendLogShowsTheLastLineAndResetsTheEditFields) {
  Init();
  port.Type(kUidEdit, "typed but not read back");
  window.AppendLog("Looking for bootloader...");
  window.AppendLog("");
  EXPECT_EQ(port.Text(kLogPane), "Looking for bootloader...\r\n\r\n");
  EXPECT_EQ(port.log_scrolls, 2);
  EXPECT_EQ(port.Text(kUidEdit), "4F 4C 00 00 00 00");
}

// A toolkit that runs the window for a few ticks and leaves with Exit.
class FakeHost : public WindowHost {
 public:
  void PrepareToolkit() override { ++prepared; }
  WindowPort& port() override { return recording; }
  int RunModal(UpdaterWindow& window) override {
    EXPECT_EQ(prepared, 1);
    window.OnInit();
    window.OnTick(kTickTimerId);
    window.OnExitButton();
    ran = true;
    return *recording.end_result;
  }
  RecordingWindowPort recording;
  int prepared = 0;
  bool ran = false;
};

TEST(UpdaterApp, RunsTheOneWindowAndReturnsFalseHoweverItEnded) {
  VirtualClock clock;
  ScriptedDriver driver(clock);
  FakeHost host;
  std::ostringstream diag;
  EXPECT_FALSE(UpdaterApp().Start(host, driver, clock, diag));
  EXPECT_TRUE(host.ran);
  EXPECT_EQ(host.recording.Text(kStatusLine), "Connected");
  EXPECT_NE(diag.str().find("Opening port 0... "), std::string::npos);
}

}  // namespace
}  // namespace quillmont
