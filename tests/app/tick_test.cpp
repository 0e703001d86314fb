// SPDX-License-Identifier: Apache-2.0
// The main loop tick by tick on a virtual clock, against a scripted adapter and fixture.
#include <gtest/gtest.h>

#include "rdm/discovery.h"
#include "rdm/message.h"
#include "support/scripted_fixture.h"
#include "support/window_harness.h"

namespace quillmont {
namespace {

using testing::ResponseFrame;
using testing::ScriptedDriver;
using testing::ScriptedFixture;
using testing::ScriptedWindowHarness;
using testing::TextBytes;
using Call = ScriptedDriver::Call;
using Bytes = std::vector<uint8_t>;

const RdmUid kFixtureUid = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};

class TickTest : public ::testing::Test, public ScriptedWindowHarness {
 protected:
  void SetUp() override {
    fixture.dmx_address = 0x0123;
    Init();
  }
  // Ticks until the first connection has read the model, version and address.
  void Connect() {
    Ticks(8);
    ASSERT_EQ(window.device_found, 1);
    ASSERT_EQ(port.Text(kDmxAddressEdit), "291");
  }
  size_t WritesCount() const { return driver.Writes().size(); }

  ScriptedFixture fixture{driver};
};

TEST_F(TickTest, FirstConnectionOpensUnMutesDiscoversAndReadsTheDeviceInTurn) {
  Ticks(1);
  EXPECT_EQ(driver.Count(Call::Open), 1u);
  EXPECT_EQ(driver.events[2].value, 0u) << "device index 0";
  EXPECT_EQ(driver.baud_rate, 250000u);
  EXPECT_EQ(port.Text(kStatusLine), "Connected");
  ASSERT_EQ(driver.Writes().size(), 1u);
  EXPECT_EQ(driver.Writes()[0], Bytes(kUnMuteAllFrame.begin(), kUnMuteAllFrame.end()));
  EXPECT_EQ(window.countdown, 4);

  Ticks(4);
  EXPECT_EQ(window.countdown, 0);
  EXPECT_EQ(fixture.discoveries, 0);
  EXPECT_EQ(WritesCount(), 1u) << "no second un-mute while counting down";
  EXPECT_EQ(driver.Count(Call::Read), 0u) << "nothing is read while no device is known";

  Ticks(1);  // tick 6
  EXPECT_EQ(fixture.discoveries, 1);
  const auto status = port.History(kStatusLine);
  ASSERT_GE(status.size(), 3u);
  EXPECT_EQ(status[status.size() - 2], "Discover Node...");
  EXPECT_EQ(port.Text(kStatusLine), "Connected,  Device's Rdm_ID  =  4F 4C 12 34 56 78");
  EXPECT_EQ(port.Text(kUidEdit), "4F 4C 12 34 56 78");
  EXPECT_EQ(window.target_uid, kFixtureUid);
  const auto writes = driver.Writes();
  ASSERT_EQ(writes.size(), 4u);
  EXPECT_EQ(writes[1], Bytes(kDiscUniqueBranchFrame.begin(), kDiscUniqueBranchFrame.end()));
  EXPECT_EQ(writes[2],
            (Bytes{0xCC, 0x01, 0x18, 0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78, 0x4F, 0x4C, 0xFE, 0x01,
                   0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x80, 0x00, 0x04, 0xCE}));
  // The model reply came in on the same tick and asked for the version.
  EXPECT_EQ(port.Text(kModelLabel), "Spot 575");
  EXPECT_EQ(port.Text(kVersionLabel), "");
  EXPECT_EQ(writes[3][kOffsetCommandClass], GET_COMMAND);
  EXPECT_EQ(writes[3][kOffsetPid + 1], 0xC0);

  Ticks(1);
  EXPECT_EQ(port.Text(kVersionLabel), "1.07");
  EXPECT_EQ(port.Text(kDmxAddressEdit), "0");
  EXPECT_EQ(driver.Writes().back()[kOffsetPid + 1], 0xF0);

  Ticks(1);
  EXPECT_EQ(port.Text(kDmxAddressEdit), "291");
  EXPECT_EQ(window.dmx_address_text, "291");
  const size_t quiet = WritesCount();
  Ticks(20);
  EXPECT_EQ(WritesCount(), quiet) << "a known device is not asked again";
  EXPECT_EQ(fixture.un_mutes, 1);
}

TEST_F(TickTest, AKnownDeviceCostsOneToThreeReadPollsATick) {
  Connect();
  const uint64_t sleeps = clock.sleep_calls();
  Ticks(1);
  EXPECT_EQ(clock.sleep_calls() - sleeps, 1u) << "a quiet line: one read of one byte";
}

TEST_F(TickTest, TwoDevicesFailDiscoveryAndTheNextAttemptComes301TicksLater) {
  fixture.uids.push_back({0x4F, 0x4C, 0x00, 0x00, 0x00, 0x07});
  Ticks(6);
  EXPECT_EQ(fixture.discoveries, 1);
  EXPECT_EQ(port.Text(kStatusLine),
            "No RDM Device available. Only ONE device should be connected.");
  EXPECT_EQ(window.device_found, 0);
  EXPECT_EQ(window.target_uid, kInitialTargetUid) << "a collided answer never becomes the target";
  EXPECT_EQ(port.Text(kUidEdit), "4F 4C 00 00 00 00");

  Ticks(295);
  EXPECT_EQ(fixture.un_mutes, 1);
  Ticks(1);  // 296 ticks after the failure: the un-mute, five ticks before discovery
  EXPECT_EQ(fixture.un_mutes, 2);
  Ticks(4);
  EXPECT_EQ(fixture.discoveries, 1);
  Ticks(1);  // 301 ticks after the failure
  EXPECT_EQ(fixture.discoveries, 2);
}

TEST_F(TickTest, PullingTheAdapterDropsTheLinkAndAReplugReconnects) {
  Connect();
  driver.modem_status = FT_IO_ERROR;
  driver.device_count = 0;
  Ticks(1);
  EXPECT_EQ(port.Text(kStatusLine), "Not Connected.");
  EXPECT_EQ(driver.Count(Call::Close), 1u);
  EXPECT_EQ(window.link, nullptr);
  EXPECT_EQ(window.device_found, 0);
  EXPECT_EQ(port.Text(kModelLabel), "Spot 575") << "the labels keep their texts";
  EXPECT_EQ(port.Text(kVersionLabel), "1.07");

  const size_t lists = driver.Count(Call::CreateDeviceInfoList);
  Ticks(3);
  EXPECT_EQ(driver.Count(Call::CreateDeviceInfoList), lists + 3) << "searched on every tick";
  EXPECT_EQ(driver.Count(Call::Open), 1u);

  driver.modem_status = FT_OK;
  driver.device_count = 1;
  Ticks(1);
  EXPECT_EQ(driver.Count(Call::Open), 2u);
  EXPECT_EQ(port.Text(kStatusLine), "Connected");
  Ticks(5);
  EXPECT_EQ(fixture.discoveries, 2);
  EXPECT_EQ(window.device_found, 1);
  EXPECT_EQ(port.Text(kStatusLine), "Connected,  Device's Rdm_ID  =  4F 4C 12 34 56 78");
}

TEST_F(TickTest, AFailedOpenTriesTheNextDeviceIndexSixTicksLaterAndWraps) {
  driver.device_count = 2;
  driver.open_status = FT_DEVICE_NOT_OPENED;
  Ticks(1);
  Ticks(5);
  EXPECT_EQ(driver.Count(Call::Open), 1u);
  Ticks(1);
  Ticks(6);
  std::vector<uint32_t> indexes;
  for (const auto& e : driver.events) {
    if (e.call == Call::Open) {
      indexes.push_back(e.value);
    }
  }
  EXPECT_EQ(indexes, (std::vector<uint32_t>{0, 1, 0}));
  EXPECT_EQ(port.Text(kStatusLine), "Not Connected");
  EXPECT_EQ(driver.Writes().size(), 0u);
}

TEST_F(TickTest, ALowBaudTextOpensAtTheAdaptersOwnRate) {
  window.baud_text = {'1', '5', '0', 0, 0, 0, 0, 0, 0, 0};
  Ticks(1);
  EXPECT_EQ(port.Text(kStatusLine), "Connected");
  EXPECT_EQ(driver.Count(Call::SetBaudRate), 0u);
}

TEST_F(TickTest, AFrameArrivingOverSeveralTicksGrowsInFrameViewAndActsWhenComplete) {
  Connect();
  const Bytes frame =
      ResponseFrame(kFixtureUid, GET_COMMAND_RESPONSE, DMX_START_ADDRESS, {0x01, 0xFF});
  ASSERT_EQ(frame.size(), 28u);
  driver.Deliver({frame.begin(), frame.begin() + 2});
  Ticks(1);
  EXPECT_EQ(port.Text(kFrameView), "CC 01 ");
  EXPECT_EQ(window.rx_length, 2);

  driver.Deliver({frame.begin() + 2, frame.begin() + 12});
  Ticks(1);
  EXPECT_EQ(port.Text(kFrameView), "CC 01 1A 4F 4C FE 01 00 00 4F 4C 12 ");
  EXPECT_EQ(port.Text(kDmxAddressEdit), "291");

  driver.Deliver({frame.begin() + 12, frame.end()});
  Ticks(1);
  EXPECT_EQ(port.Text(kDmxAddressEdit), "511");
  EXPECT_EQ(port.Text(kFrameView),
            "21 00F0 Len 2\r\nCC 01 1A 4F 4C FE 01 00 00 4F 4C 12 34 56 78 00 00 00 00 00 "
            "21 00 F0 02 01 FF 06 43 ");
  EXPECT_EQ(window.rx_length, 0);
}

TEST_F(TickTest, ABadChecksumIsShownAndOtherwiseIgnored) {
  Connect();
  Bytes frame =
      ResponseFrame(kFixtureUid, GET_COMMAND_RESPONSE, DEVICE_MODEL_DESCRIPTION, TextBytes("Wash"));
  frame.back() ^= 0x01;
  const size_t writes = WritesCount();
  driver.Deliver(frame);
  Ticks(1);
  EXPECT_EQ(port.Text(kModelLabel), "Spot 575");
  EXPECT_EQ(WritesCount(), writes);
  EXPECT_EQ(port.Text(kFrameView).substr(0, 9), "CC 01 1C ") << "plain listing, no header";
  EXPECT_EQ(port.Text(kFrameView).size(), frame.size() * 3);
  EXPECT_EQ(window.rx_length, 0);
}

TEST_F(TickTest, FramesOf80BytesOrMoreAreListedWithoutTheHeaderLine) {
  Connect();
  const std::string long_model(54, 'M');  // 54 + 26 = 80 bytes
  driver.Deliver(ResponseFrame(kFixtureUid, GET_COMMAND_RESPONSE, DEVICE_MODEL_DESCRIPTION,
                               TextBytes(long_model)));
  Ticks(1);
  EXPECT_EQ(port.Text(kModelLabel), long_model);
  EXPECT_EQ(port.Text(kFrameView).substr(0, 9), "CC 01 4E ");
  EXPECT_EQ(port.Text(kFrameView).size(), 80u * 3);

  const std::string shorter(53, 'm');  // 79 bytes
  driver.Deliver(ResponseFrame(kFixtureUid, GET_COMMAND_RESPONSE, DEVICE_MODEL_DESCRIPTION,
                               TextBytes(shorter)));
  Ticks(2);  // the version request of the first reply is answered on the way
  EXPECT_EQ(port.Text(kModelLabel), shorter);
}

TEST_F(TickTest, LabelsEndAtAZeroByteAndNeverReadPastTheFrame) {
  Connect();
  driver.Deliver(ResponseFrame(kFixtureUid, GET_COMMAND_RESPONSE, SOFTWARE_VERSION_LABEL,
                               {'2', '.', '0', 0x00, 'x', 'y'}));
  Ticks(1);
  EXPECT_EQ(port.Text(kVersionLabel), "2.0");

  // A PDL that claims 40 bytes in a frame that holds 3.
  Bytes frame =
      ResponseFrame(kFixtureUid, GET_COMMAND_RESPONSE, DEVICE_MODEL_DESCRIPTION, TextBytes("Pix"));
  frame[kOffsetPdl] = 40;
  const uint16_t sum = RdmChecksum(frame.data(), frame.size() - 2);
  frame[frame.size() - 2] = static_cast<uint8_t>(sum >> 8);
  frame[frame.size() - 1] = static_cast<uint8_t>(sum);
  Ticks(2);  // the address reply to the version reply
  driver.Deliver(frame);
  Ticks(1);
  EXPECT_EQ(port.Text(kModelLabel), "Pix");
}

TEST_F(TickTest, AnAddressReplyWithoutTwoDataBytesChangesNothing) {
  Connect();
  driver.Deliver(ResponseFrame(kFixtureUid, GET_COMMAND_RESPONSE, DMX_START_ADDRESS, {0x02}));
  Ticks(1);
  EXPECT_EQ(window.rx_length, 0);
  EXPECT_EQ(port.Text(kDmxAddressEdit), "291");
}

TEST_F(TickTest, SetAddressAcknowledgementsBeepAndRefusalsAreToldInTheLog) {
  Connect();
  driver.Deliver(ResponseFrame(kFixtureUid, SET_COMMAND_RESPONSE, DMX_START_ADDRESS, {}));
  Ticks(1);
  EXPECT_EQ(port.beeps, 1);
  // A NACK does not beep; the log says what was refused and why.
  const size_t log_mark = window.log_text.size();
  driver.Deliver(ResponseFrame(kFixtureUid, SET_COMMAND_RESPONSE, DMX_START_ADDRESS, {0x00, 0x06},
                               RESPONSE_TYPE_NACK_REASON));
  Ticks(1);
  EXPECT_EQ(port.beeps, 1);
  driver.Deliver(ResponseFrame(kFixtureUid, GET_COMMAND_RESPONSE, SOFTWARE_VERSION_LABEL,
                               {0x00, 0x05}, RESPONSE_TYPE_NACK_REASON));
  Ticks(1);
  EXPECT_EQ(window.log_text.substr(log_mark),
            "The fixture refused SET DMX_START_ADDRESS: NR_DATA_OUT_OF_RANGE\r\n"
            "The fixture refused GET SOFTWARE_VERSION_LABEL: NR_UNSUPPORTED_COMMAND_CLASS\r\n");
  // A GET reply to the same parameter does not beep.
  driver.Deliver(ResponseFrame(kFixtureUid, GET_COMMAND_RESPONSE, DMX_START_ADDRESS, {0, 9}));
  Ticks(1);
  EXPECT_EQ(port.beeps, 1);
}

// A second fixture on the line, or a late answer to a UID that is no longer the target: shown in
// the frame view, and nothing else. The target's own reply after it is taken.
TEST_F(TickTest, RepliesFromAnotherUidAreShownButNotActedOn) {
  Connect();
  const RdmUid other = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x79};
  const size_t writes = WritesCount();
  driver.Deliver(
      ResponseFrame(other, GET_COMMAND_RESPONSE, DEVICE_MODEL_DESCRIPTION, TextBytes("Wash")));
  Ticks(1);
  driver.Deliver(ResponseFrame(other, SET_COMMAND_RESPONSE, DMX_START_ADDRESS, {}));
  driver.Deliver(ResponseFrame(other, GET_COMMAND_RESPONSE, DMX_START_ADDRESS, {0, 9}));
  Ticks(2);
  EXPECT_EQ(port.Text(kModelLabel), "Spot 575");
  EXPECT_EQ(port.Text(kDmxAddressEdit), "291");
  EXPECT_EQ(port.beeps, 0);
  EXPECT_EQ(WritesCount(), writes) << "no version request follows another fixture's model";
  EXPECT_EQ(port.Text(kFrameView).substr(0, 17), "21 00F0 Len 2\r\nCC");

  driver.Deliver(
      ResponseFrame(kFixtureUid, GET_COMMAND_RESPONSE, DEVICE_MODEL_DESCRIPTION, TextBytes("Pix")));
  Ticks(1);
  EXPECT_EQ(port.Text(kModelLabel), "Pix");
  EXPECT_EQ(WritesCount(), writes + 1);
}

TEST_F(TickTest, NoiseBeforeAStartCodeIsDroppedOneByteATick) {
  Connect();
  driver.Deliver({0x00, 0xFE, 0x55});
  driver.Deliver(ResponseFrame(kFixtureUid, GET_COMMAND_RESPONSE, DMX_START_ADDRESS, {0, 42}));
  Ticks(3);
  EXPECT_EQ(port.Text(kDmxAddressEdit), "291");
  EXPECT_EQ(driver.Pending(), 28u);
  Ticks(1);
  EXPECT_EQ(port.Text(kDmxAddressEdit), "42");
}

class UnusableLengthTest : public TickTest, public ::testing::WithParamInterface<uint8_t> {};

TEST_P(UnusableLengthTest, IsDiscardedAndTheNextFrameIsReceived) {
  Connect();
  driver.Deliver({0xCC, 0x01, GetParam(), 0x00, 0x00});
  Ticks(1);
  EXPECT_LE(window.rx_length, 0);
  // What came after the discarded bytes is read as noise, then the next frame.
  driver.Deliver(ResponseFrame(kFixtureUid, GET_COMMAND_RESPONSE, DMX_START_ADDRESS, {0, 77}));
  EXPECT_TRUE(pacer.RunUntil([&] { return port.Text(kDmxAddressEdit) == "77"; }, 5));
  EXPECT_EQ(window.rx_length, 0);
}

INSTANTIATE_TEST_SUITE_P(MessageLengths, UnusableLengthTest,
                         ::testing::Values(uint8_t{0}, uint8_t{1}, uint8_t{23}, uint8_t{255}));

TEST_F(TickTest, AStartCodeAmongDiscardedBytesBeginsTheNextFrame) {
  Connect();
  const Bytes frame = ResponseFrame(kFixtureUid, GET_COMMAND_RESPONSE, DMX_START_ADDRESS, {0, 5});
  driver.Deliver({0xCC});  // a stray start code: CC CC 01 reads as a length of 1
  driver.Deliver(frame);
  Ticks(1);
  EXPECT_EQ(window.rx_length, 2);
  EXPECT_EQ(port.Text(kFrameView), "CC 01 ");
  Ticks(1);
  EXPECT_EQ(port.Text(kDmxAddressEdit), "5");
}

TEST_F(TickTest, AFailedContinuationReadDropsThePartialFrame) {
  Connect();
  const Bytes frame = ResponseFrame(kFixtureUid, GET_COMMAND_RESPONSE, DMX_START_ADDRESS, {0, 5});
  driver.Deliver({frame.begin(), frame.begin() + 10});
  Ticks(1);
  EXPECT_EQ(window.rx_length, 10);
  driver.status_status = FT_IO_ERROR;
  Ticks(1);
  EXPECT_EQ(window.rx_length, 0);
  driver.status_status = FT_OK;
  driver.Deliver({frame.begin() + 10, frame.end()});
  Ticks(20);
  EXPECT_EQ(port.Text(kDmxAddressEdit), "291") << "the rest alone is never taken for a frame";
}

TEST_F(TickTest, ATypedUidWithoutALinkRunsTheReceiverWithoutResult) {
  driver.device_count = 0;
  window.device_found = 1;
  Ticks(3);
  EXPECT_EQ(window.rx_length, -1);
  EXPECT_EQ(driver.Count(Call::Read), 0u);
  EXPECT_EQ(clock.sleep_calls(), 0u) << "no link: reads fail at once";
}

TEST_F(TickTest, ATickThatFindsBusySetOnlyStepsAndClearsIt) {
  window.busy = 1;  // as inside a modal loop that a running tick opened
  Ticks(1);
  EXPECT_EQ(window.busy, 0);
  EXPECT_TRUE(driver.events.empty()) << "no link watch, search, discovery or receive";
  Ticks(1);
  EXPECT_EQ(driver.Count(Call::Open), 1u) << "the tick after it runs in full";
  EXPECT_EQ(window.busy, 0);
}

}  // namespace
}  // namespace quillmont
