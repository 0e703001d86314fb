// SPDX-License-Identifier: Apache-2.0
// The Update Firmware button: what a start does before the first tick, what an abort leaves
// behind, and what a cancelled dialog, a bad file or an empty one get.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "update_bench.h"

namespace quillmont {
namespace {

using testing::Bytes;
using testing::Changed;
using ::testing::ElementsAre;
using testing::ExamplePath;
using testing::FramePd;
using testing::FramePid;
using testing::Req;
using testing::Srec2Text;

class UpdateStartAbortTest : public ::testing::Test, public testing::ScriptedUpdateBench {
 protected:
  // A bootloader that answers everything at once.
  void AnswerAsBootloader() {
    device = [this](const Bytes& frame) {
      switch (testing::KindOf(frame)) {
        case Req::Poll:
          ReplyControl(0x04);
          return true;
        case Req::Erase:
          ReplyEraseAck();
          return true;
        case Req::Program:
          ReplyEcho(frame);
          return true;
        default:
          return false;
      }
    };
  }
  testing::TestFolder folder;
};

TEST_F(UpdateStartAbortTest, AnAbortSendsNothingAndLeavesTheWaitAsItWas) {
  Connect();
  StartUpdate(ExamplePath("fixture-app-1.1.srec2"));
  Ticks(1);
  ASSERT_EQ(sent.size(), 1u);
  ASSERT_EQ(window.job.wait_ticks(), 50);
  const size_t writes = driver.Writes().size();
  const size_t mark = window.log_text.size();

  window.OnUpdateButton();
  EXPECT_EQ(driver.Writes().size(), writes);
  EXPECT_EQ(window.job.state(), UpdateState::kIdle);
  EXPECT_EQ(window.job.retries_left(), 0);
  EXPECT_EQ(window.job.wait_ticks(), 50);
  EXPECT_EQ(port.Text(kUpdateButton), "Update Firmware");
  EXPECT_EQ(window.log_text.substr(mark),
            "\r\nOperation Aborted by User.\r\n\r\nThe operator aborted the update while looking "
            "for the bootloader. Nothing on the fixture was changed.\r\n");
  EXPECT_EQ(port.file_dialog_requests.size(), 1u) << "an abort opens no dialog";

  // A late reply after the abort changes nothing.
  ReplyControl(0x04);
  Ticks(400);
  EXPECT_EQ(sent.size(), 1u);
  EXPECT_EQ(window.job.state(), UpdateState::kIdle);
}

TEST_F(UpdateStartAbortTest, ACancelledDialogDoesNothing) {
  Connect();
  const std::string log = window.log_text;
  const auto caption_writes = port.text_writes[kUpdateButton];
  window.OnUpdateButton();  // no answer queued: the dialog is cancelled
  ASSERT_EQ(port.file_dialog_requests.size(), 1u);
  const FileDialogRequest& request = port.file_dialog_requests[0];
  EXPECT_EQ(request.title, "Load Firmware File");
  EXPECT_EQ(request.filter_pattern, "*.srec2");
  EXPECT_EQ(port.invalidates, 0);
  EXPECT_EQ(window.log_text, log);
  EXPECT_EQ(port.text_writes[kUpdateButton], caption_writes);
  Ticks(100);
  EXPECT_TRUE(sent.empty());
}

TEST_F(UpdateStartAbortTest, AFileWithABadRecordShowsItsMessageAndStartsNothing) {
  Connect();
  const std::string path = folder.Write(
      "bad.srec2", "S00600004844521B\n" + testing::S2Record(0x4000, {1, 2, 3, 4}, 1) + "\n");
  StartUpdate(path);
  EXPECT_THAT(port.message_boxes, ElementsAre("Checksum error ad address 4000."));
  EXPECT_EQ(Log(), "Reading " + path + "\r\nChecksum error ad address 4000.\r\n");
  EXPECT_EQ(port.Text(kUpdateButton), "Update Firmware");
  EXPECT_EQ(port.invalidates, 1);
  Ticks(100);
  EXPECT_TRUE(sent.empty());
}

TEST_F(UpdateStartAbortTest, AFileWithoutDataRecordsSaysSoInABoxAndTheLog) {
  Connect();
  const std::string path = folder.Write("empty.srec2", Srec2Text({}));
  StartUpdate(path);
  EXPECT_THAT(port.message_boxes, ElementsAre("No data records in file."));
  EXPECT_EQ(Log(), "Reading " + path + "\r\nNo data records in file.\r\n");
  EXPECT_EQ(port.Text(kUpdateButton), "Update Firmware");
  EXPECT_EQ(window.job.state(), UpdateState::kIdle);
  Ticks(100);
  EXPECT_TRUE(sent.empty());
}

TEST_F(UpdateStartAbortTest, AnEmptyEraseListGoesFromTheControlFieldToTheFirstChunkOnOneTick) {
  Connect();
  AnswerAsBootloader();
  const int64_t t0 = pacer.ticks_run();
  StartUpdate(ExamplePath("fixture-app-1.1.srec2"));
  window.erase_plan.erase_count = 0;  // a plan with nothing left to erase
  ASSERT_TRUE(RunToIdle(1000));
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent[0].kind, Req::Poll);
  EXPECT_EQ(sent[0].tick - t0, 1);
  EXPECT_EQ(sent[1].kind, Req::Program);
  EXPECT_EQ(sent[1].tick - t0, 2) << "the tick that took the control field";
  const Bytes pd = FramePd(sent[1].frame);
  EXPECT_EQ(Bytes(pd.begin(), pd.begin() + 8),
            (Bytes{0x55, 0xA4, 0x80, 0x00, 0x40, 0x00, 0x00, 192}));
  EXPECT_TRUE(Of(Req::Erase).empty());
  EXPECT_TRUE(testing::EndsWithVerdict(Log(), testing::kStillInBootloader)) << Log();
}

TEST_F(UpdateStartAbortTest, AFileWithNothingToEraseLogsAnEmptyListAndProgramsNothing) {
  Connect();
  AnswerAsBootloader();
  // Loaded bytes that all equal the erased flash's fill pattern: nothing to erase, nothing to
  // program.
  testing::DataRun unchanged{0x100, {}};
  for (uint32_t a = 0x100; a < 0x140; ++a) {
    unchanged.data.push_back(FillPatternAt(a));
  }
  const std::string path = folder.Write("unchanged.srec2", Srec2Text({unchanged}));
  const int64_t t0 = pacer.ticks_run();
  StartUpdate(path);
  EXPECT_EQ(Log(), "Reading " + path +
                       "\r\n"
                       "code_begin = $0; code_end = $0;  signature = $00\r\n"
                       "erase_list = \r\n"
                       "The file holds no application signature: the fixture will stay in its "
                       "bootloader after the update.\r\n");
  ASSERT_TRUE(RunToIdle(600));
  // The poll, the start; then only the polls of the verification after the acknowledged start.
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent[0].kind, Req::Poll);
  EXPECT_EQ(sent[1].kind, Req::Start);
  for (size_t i = 2; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i].kind, Req::Poll);
  }
  // The fixture it heard (its bootloader) is asked on the next tick for its version label
  // alone, the one thing a bootloader tells.
  const size_t before = sent.size();
  Ticks(1);
  ASSERT_EQ(sent.size(), before + 1);
  EXPECT_EQ(FramePid(sent.back().frame), SOFTWARE_VERSION_LABEL);
  EXPECT_EQ(sent[1].tick - t0, 2) << "erase, programming and start in one step";
  EXPECT_TRUE(port.fills.empty());
}

TEST_F(UpdateStartAbortTest, NoDeviceKnownShowsItsBoxWithTheJobAlreadyIdle) {
  fixture.uids.clear();  // nothing answers discovery
  Init();
  Ticks(1);
  ASSERT_NE(window.link, nullptr);
  ASSERT_EQ(window.device_found, 0);
  UpdateState state_in_box = UpdateState::kStartUserProgram;
  int16_t retries_in_box = -1;
  std::string caption_in_box;
  size_t boxes_in_box = 0;
  port.on_message_box = [&](const std::string& text) {
    if (text != "No devices connected") {
      return;
    }
    state_in_box = window.job.state();
    retries_in_box = window.job.retries_left();
    caption_in_box = port.Text(kUpdateButton);
    pacer.RunTicks(60);  // the timer goes on inside the box
    boxes_in_box = port.message_boxes.size();
  };
  StartUpdate(ExamplePath("fixture-app-1.1.srec2"));
  EXPECT_EQ(port.Text(kUpdateButton), "Abort Operation") << "a start never checks for a device";
  Ticks(1);
  EXPECT_EQ(state_in_box, UpdateState::kIdle);
  EXPECT_EQ(retries_in_box, 0);
  EXPECT_EQ(caption_in_box, "Update Firmware");
  EXPECT_EQ(boxes_in_box, 1u) << "the ticks inside the box found nothing to do";
  EXPECT_THAT(port.message_boxes, ElementsAre("No devices connected"));
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(window.busy, 0);
  EXPECT_EQ(Log().find("Looking for bootloader"), std::string::npos);
}

TEST_F(UpdateStartAbortTest, AStartRightAfterAnAbortWaitsOutTheOldWait) {
  Connect();
  device = [this](const Bytes& frame) {
    if (testing::KindOf(frame) == Req::Poll) {
      ReplyControl(0x04);
    }
    return true;  // the erase goes unanswered
  };
  const std::string path = ExamplePath("fixture-app-1.1.srec2");
  const int64_t t0 = pacer.ticks_run();
  StartUpdate(path);
  Ticks(2);
  ASSERT_EQ(SentTicks(Req::Erase), std::vector<int64_t>{t0 + 2});
  window.OnUpdateButton();  // abort with 300 ticks still to wait
  StartUpdate(path);
  EXPECT_EQ(window.job.wait_ticks(), 300);
  ASSERT_TRUE(pacer.RunUntil([&] { return Of(Req::Poll).size() == 2; }, 400));
  EXPECT_EQ(SentTicks(Req::Poll).back() - (t0 + 2), 301);
}

TEST_F(UpdateStartAbortTest, AnInvalidTypedUidStartsNothingAndTheButtonStillAborts) {
  Connect();
  const RdmUid discovered = window.target_uid;
  port.Type(kUidEdit, "4F 4C XY");
  window.OnUidChanged();
  StartUpdate(ExamplePath("fixture-app-1.1.srec2"));
  EXPECT_THAT(port.message_boxes, ElementsAre("Invalid RDM ID."));
  EXPECT_TRUE(port.file_dialog_requests.empty());
  EXPECT_EQ(window.job.state(), UpdateState::kIdle);
  EXPECT_EQ(window.target_uid, discovered);

  port.Type(kUidEdit, FormatUid(discovered));
  window.OnUpdateButton();  // the path picked before is still the dialog's answer
  EXPECT_EQ(window.job.state(), UpdateState::kFindBootloader);

  port.Type(kUidEdit, "nonsense");
  window.OnUidChanged();
  window.OnUpdateButton();
  EXPECT_EQ(port.message_boxes.size(), 2u);
  EXPECT_EQ(port.message_boxes.back(), "Invalid RDM ID.");
  EXPECT_EQ(window.job.state(), UpdateState::kIdle) << "the click still aborts";
  EXPECT_TRUE(testing::EndsWithReason(window.log_text, "\r\nOperation Aborted by User.\r\n\r\n",
                                      "The operator aborted the update while "));
}

TEST_F(UpdateStartAbortTest, ADrainOfANoisyLineEndsAfter200ReadsAndStartsAllTheSame) {
  Connect();
  Ticks(3);  // the last answer of the connection is in
  driver.Deliver(Bytes(300 * 256, 0x00));
  StartUpdate(ExamplePath("fixture-app-1.1.srec2"));
  EXPECT_EQ(driver.Pending(), 100u * 256) << "200 reads of 256 bytes, then the drain gives up";
  EXPECT_TRUE(testing::EndsWith(Log(), "The line did not fall quiet; starting all the same.\r\n"));
  EXPECT_EQ(window.job.state(), UpdateState::kFindBootloader);
  EXPECT_EQ(port.Text(kUpdateButton), "Abort Operation");
}

TEST_F(UpdateStartAbortTest, ADrainOfAQuietLineTakesEveryPendingByte) {
  Connect();
  Ticks(3);
  driver.Deliver(Bytes(199 * 256, 0x00));
  const int16_t rx_length = window.rx_length;
  StartUpdate(ExamplePath("fixture-app-1.1.srec2"));
  EXPECT_EQ(driver.Pending(), 0u);
  EXPECT_EQ(Log().find("did not fall quiet"), std::string::npos);
  EXPECT_EQ(window.rx_length, rx_length);
}

}  // namespace
}  // namespace quillmont
