// SPDX-License-Identifier: Apache-2.0
// The operator's commands: the typed UID, the requests they send, their messages and guards.
#include <gtest/gtest.h>

#include "rdm/message.h"
#include "support/scripted_fixture.h"
#include "support/window_harness.h"

namespace quillmont {
namespace {

using testing::ScriptedDriver;
using testing::ScriptedFixture;
using testing::ScriptedWindowHarness;
using Call = ScriptedDriver::Call;
using Bytes = std::vector<uint8_t>;

class CommandsTest : public ::testing::Test, public ScriptedWindowHarness {
 protected:
  void SetUp() override {
    Init();
    Ticks(1);  // the link is open; discovery is five ticks away
  }
  // The operator types a UID; the port reports the edit.
  void TypeUid(const std::string& text) {
    port.Type(kUidEdit, text);
    window.OnUidChanged();
  }
  size_t WritesCount() const { return driver.Writes().size(); }
  Bytes LastWrite() const { return driver.Writes().back(); }
};

TEST_F(CommandsTest, IdentifyTakesALowerCaseTypedUidAndSendsToIt) {
  TypeUid("01 23 45 67 89 ab");
  window.OnIdentifyButton();
  EXPECT_EQ(port.Text(kUidEdit), "01 23 45 67 89 AB");
  EXPECT_EQ(port.Text(kStatusLine), "Manually Connected to Rdm ID");
  EXPECT_EQ(window.target_uid, (RdmUid{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB}));
  EXPECT_EQ(window.device_found, 1);
  EXPECT_EQ(window.manual_uid, 0);
  EXPECT_TRUE(port.message_boxes.empty());
  EXPECT_EQ(LastWrite(), (Bytes{0xCC, 0x01, 0x19, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB,
                                0x4F, 0x4C, 0xFE, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                                0x00, 0x00, 0x30, 0x10, 0x00, 0x01, 0x01, 0x04, 0xC6}));
}

TEST_F(CommandsTest, CommandsSendTheirRequestsByteForByte) {
  TypeUid("4F 4C 00 00 00 00");
  window.OnIdentifyButton();
  EXPECT_EQ(LastWrite(), (Bytes{0xCC, 0x01, 0x19, 0x4F, 0x4C, 0x00, 0x00, 0x00, 0x00,
                                0x4F, 0x4C, 0xFE, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                                0x00, 0x00, 0x30, 0x10, 0x00, 0x01, 0x01, 0x03, 0x5D}));
  window.OnStopIdentifyButton();
  EXPECT_EQ(LastWrite()[24], 0x00);
  EXPECT_EQ(LastWrite()[26], 0x5C);
  window.OnRefreshButton();
  EXPECT_EQ(LastWrite(),
            (Bytes{0xCC, 0x01, 0x18, 0x4F, 0x4C, 0x00, 0x00, 0x00, 0x00, 0x4F, 0x4C, 0xFE, 0x01,
                   0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x80, 0x00, 0x03, 0xBA}));
  port.Type(kDmxAddressEdit, "1");
  window.OnSetAddressButton();
  EXPECT_EQ(LastWrite(), (Bytes{0xCC, 0x01, 0x1A, 0x4F, 0x4C, 0x00, 0x00, 0x00, 0x00, 0x4F,
                                0x4C, 0xFE, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                0x30, 0x00, 0xF0, 0x02, 0x00, 0x01, 0x04, 0x3F}));
  EXPECT_EQ(driver.Count(Call::BreakOn), WritesCount()) << "every frame follows a break";
}

TEST_F(CommandsTest, SetSendsOnlyAddressesFrom1To512) {
  TypeUid("4F 4C 00 00 00 00");
  window.ApplyTypedUid();
  const std::vector<std::pair<std::string, Bytes>> sent = {
      {"1", {0x00, 0x01}}, {"512", {0x02, 0x00}}, {" 042 ", {0x00, 0x2A}}};
  for (const auto& [text, data] : sent) {
    port.Type(kDmxAddressEdit, text);
    window.OnSetAddressButton();
    const Bytes frame = LastWrite();
    ASSERT_EQ(frame.size(), 28u) << text;
    EXPECT_EQ(Bytes(frame.begin() + 24, frame.begin() + 26), data) << text;
    EXPECT_EQ(window.dmx_address_text, text) << "read back from the field";
  }
  EXPECT_TRUE(port.message_boxes.empty());

  // Out of range, wrapping past 16 bits, signed, or not a number: refused, nothing sent.
  const std::vector<std::string> refused = {"0",  "513",       "65538",  "70000",
                                            "-1", "no digits", " 12abc", "99999999999999"};
  const size_t writes = WritesCount();
  for (const std::string& text : refused) {
    port.Type(kDmxAddressEdit, text);
    window.OnSetAddressButton();
  }
  EXPECT_EQ(WritesCount(), writes);
  EXPECT_EQ(port.message_boxes, std::vector<std::string>(refused.size(), kDmxAddressRangeMessage));
}

TEST_F(CommandsTest, AnInvalidTypedUidLeavesTargetAndDiscoveryAsTheyWereAndSendsNothing) {
  ScriptedFixture fixture(driver);
  Ticks(6);
  ASSERT_EQ(window.device_found, 1);
  const RdmUid discovered = window.target_uid;
  const std::string status = port.Text(kStatusLine);
  const size_t writes = WritesCount();

  TypeUid("01 23 45 67 89");
  window.OnIdentifyButton();
  window.OnStopIdentifyButton();
  window.OnRefreshButton();
  port.Type(kDmxAddressEdit, "7");
  window.OnSetAddressButton();
  EXPECT_EQ(port.message_boxes, std::vector<std::string>(4, "Invalid RDM ID."));
  EXPECT_EQ(WritesCount(), writes);
  EXPECT_EQ(window.target_uid, discovered);
  EXPECT_EQ(window.device_found, 1);
  EXPECT_EQ(port.Text(kStatusLine), status);
  EXPECT_EQ(window.manual_uid, 1) << "the typed text still waits to be taken";

  // Mended, it is taken.
  TypeUid("01 23 45 67 89 AB");
  window.OnRefreshButton();
  EXPECT_EQ(window.target_uid, (RdmUid{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB}));
  EXPECT_EQ(port.Text(kStatusLine), "Manually Connected to Rdm ID");
  EXPECT_EQ(WritesCount(), writes + 1);
}

TEST_F(CommandsTest, ALineBreakInTheUidIsInvalid) {
  TypeUid("01 23\r\n45 67 89 AB");
  EXPECT_EQ(window.ApplyTypedUid(), -1);
  EXPECT_EQ(port.message_boxes.size(), 1u);
  TypeUid("0x0123456789");
  EXPECT_EQ(window.ApplyTypedUid(), -1);
  EXPECT_EQ(port.message_boxes.size(), 2u);
  // The refused text waits to be mended; Discover Node drops it, and then there is nothing to
  // apply and no message.
  EXPECT_EQ(window.ApplyTypedUid(), -1);
  EXPECT_EQ(port.message_boxes.size(), 3u);
  window.OnDiscoverButton();
  EXPECT_EQ(window.ApplyTypedUid(), 6);
  EXPECT_EQ(port.message_boxes.size(), 3u);
}

TEST_F(CommandsTest, WithoutADeviceIdentifyStopAndSetTellTheOperatorAndRefreshIsSilent) {
  const size_t writes = WritesCount();
  window.OnIdentifyButton();
  window.OnStopIdentifyButton();
  window.OnSetAddressButton();
  window.OnRefreshButton();
  EXPECT_EQ(port.message_boxes, std::vector<std::string>(3, "No Devices Discovered yet"));
  EXPECT_EQ(WritesCount(), writes);
}

TEST_F(CommandsTest, TypingSuspendsDiscoveryUntilTheUidIsAppliedOrDiscoverIsPressed) {
  ScriptedFixture fixture(driver);
  TypeUid("01");
  Ticks(20);
  EXPECT_EQ(fixture.discoveries, 0);
  EXPECT_EQ(fixture.un_mutes, 0);
  window.OnDiscoverButton();
  EXPECT_EQ(window.countdown, 5);
  Ticks(1);
  EXPECT_EQ(fixture.un_mutes, 1);
  Ticks(5);
  EXPECT_EQ(fixture.discoveries, 1);
  EXPECT_EQ(port.Text(kUidEdit), "4F 4C 12 34 56 78");
}

TEST_F(CommandsTest, ADeviceFoundWhileTheMessageBoxIsOpenDoesNotMakeTheClickSend) {
  ScriptedFixture fixture(driver);
  port.on_message_box = [&](const std::string&) { Ticks(10); };
  window.OnIdentifyButton();
  EXPECT_EQ(fixture.discoveries, 1) << "ticks ran in full inside the box";
  EXPECT_EQ(window.device_found, 1);
  EXPECT_EQ(fixture.identify_on, -1);
  port.on_message_box = nullptr;
  window.OnIdentifyButton();
  Ticks(1);
  EXPECT_EQ(fixture.identify_on, 1);
}

TEST_F(CommandsTest, DuringAnUpdateTheDeviceCommandsDoNothingAtAll) {
  TypeUid("01 23 45 67 89 ab");
  port.Type(kDmxAddressEdit, "7");
  ASSERT_TRUE(window.job.Start());
  const size_t writes = WritesCount();
  window.OnIdentifyButton();
  window.OnStopIdentifyButton();
  window.OnRefreshButton();
  window.OnSetAddressButton();
  EXPECT_EQ(WritesCount(), writes);
  EXPECT_TRUE(port.message_boxes.empty());
  EXPECT_EQ(window.manual_uid, 1) << "the typed UID was not taken";
  EXPECT_EQ(window.uid_text, "4F 4C 00 00 00 00") << "the texts were not read back";
  EXPECT_EQ(port.Text(kUidEdit), "01 23 45 67 89 ab");

  // Discover, the spin and the baud list still act.
  window.OnDiscoverButton();
  EXPECT_EQ(window.manual_uid, 0);
  EXPECT_EQ(window.countdown, 5);
  window.OnSubDeviceDelta(-1);
  EXPECT_EQ(port.Text(kSubDeviceLabel), "1");
  port.ComboSetCurSel(kBaudCombo, 6);
  window.OnBaudChanged();
  EXPECT_EQ(driver.baud_rate, 9600u);
}

TEST_F(CommandsTest, TheSpinStepsTheSubDeviceWithinItsLimits) {
  window.OnSubDeviceDelta(-1);
  window.OnSubDeviceDelta(-5);
  EXPECT_EQ(port.Text(kSubDeviceLabel), "2");
  window.OnSubDeviceDelta(1);
  EXPECT_EQ(port.Text(kSubDeviceLabel), "1");

  window.subdevice_number = 65535;
  window.OnSubDeviceDelta(-1);
  EXPECT_EQ(window.subdevice_number, 65535);
  EXPECT_EQ(port.Text(kSubDeviceLabel), "65535");

  window.subdevice_number = 0;
  const int writes = port.text_writes[kSubDeviceLabel];
  window.OnSubDeviceDelta(1);
  EXPECT_EQ(window.subdevice_number, 0);
  EXPECT_EQ(port.text_writes[kSubDeviceLabel], writes + 1) << "rewritten at the limit too";
  EXPECT_EQ(port.Text(kSubDeviceLabel), "0");

  // Requests still go to the root device.
  window.subdevice_number = 9;
  TypeUid("4F 4C 00 00 00 00");
  window.OnRefreshButton();
  EXPECT_EQ(LastWrite()[kOffsetSubDevice], 0);
  EXPECT_EQ(LastWrite()[kOffsetSubDevice + 1], 0);
}

TEST_F(CommandsTest, ChoosingARateAppliesItToAnOpenLinkAndSavesIt) {
  port.ComboSetCurSel(kBaudCombo, 10);
  window.OnBaudChanged();
  EXPECT_EQ(driver.baud_rate, 115200u);
  EXPECT_EQ(ReadSettings(), std::string("115200\0\0\0\0", 10));

  const size_t sets = driver.Count(Call::SetBaudRate);
  port.ComboSetCurSel(kBaudCombo, 0);
  window.OnBaudChanged();
  EXPECT_EQ(driver.Count(Call::SetBaudRate), sets) << "150 is never applied";
  EXPECT_EQ(ReadSettings(), std::string("150\0\0\0\0\0\0\0", 10));
}

TEST(BaudWithoutLink, ChoosingARateWithoutALinkOnlySavesIt) {
  ScriptedWindowHarness h;
  h.Init();
  h.port.ComboSetCurSel(kBaudCombo, 13);
  h.window.OnBaudChanged();
  EXPECT_EQ(h.driver.Count(ScriptedDriver::Call::SetBaudRate), 0u);
  EXPECT_EQ(h.ReadSettings(), std::string("1000000\0\0\0", 10));
  // The next open applies it.
  h.Ticks(1);
  EXPECT_EQ(h.driver.baud_rate, 1000000u);
}

}  // namespace
}  // namespace quillmont
