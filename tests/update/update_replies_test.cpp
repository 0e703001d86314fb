// SPDX-License-Identifier: Apache-2.0
// How the update procedure takes the bootloader's replies: late acknowledgements, echoes that
// differ from the image, frames shorter than their PDL claims, and the low bootloader.
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
using testing::Req;
using testing::ResponseFrame;
using testing::Srec2Text;

uint32_t EraseAddress(const Bytes& frame) {
  const Bytes pd = FramePd(frame);
  return static_cast<uint32_t>(pd[2] << 24 | pd[3] << 16 | pd[4] << 8 | pd[5]);
}

class UpdateRepliesTest : public ::testing::Test, public testing::ScriptedUpdateBench {
 protected:
  void SetUp() override { Connect(); }
  std::vector<uint32_t> Erased() const {
    std::vector<uint32_t> out;
    for (const auto& s : Of(Req::Erase)) {
      out.push_back(EraseAddress(s.frame));
    }
    return out;
  }
  // A bootloader whose first `silent_erases` erase requests go unanswered; the first of them is
  // acknowledged late, once the procedure has gone back to enter the bootloader.
  void BootloaderWithLateEraseAck(int silent_erases) {
    device = [this, silent_erases, erases = 0, late_sent = false](const Bytes& frame) mutable {
      switch (testing::KindOf(frame)) {
        case Req::Poll:
          ReplyControl(0x04);
          break;
        case Req::Enter:
          if (!late_sent) {
            late_sent = true;
            ReplyEraseAck();
          }
          break;
        case Req::Erase:
          if (++erases > silent_erases) {
            ReplyEraseAck();
          }
          break;
        case Req::Program:
          ReplyEcho(frame);
          break;
        default:
          return false;
      }
      return true;
    };
  }
  testing::TestFolder folder;
};

TEST_F(UpdateRepliesTest, ALateEraseAcknowledgementStillRemovesABlock) {
  BootloaderWithLateEraseAck(2);
  const int64_t t0 = pacer.ticks_run();
  StartUpdate(ExamplePath("fixture-low-blocks.srec2"));
  ASSERT_TRUE(RunToIdle(3000));
  // 0x400 twice unanswered; its acknowledgement comes after the fall-back, so the erasing that
  // the next poll starts begins at 0x800.
  EXPECT_THAT(Erased(), ElementsAre(0x400u, 0x400u, 0x800u, 0x4000u, 0x8000u));
  EXPECT_THAT(SentTicks(Req::Enter), ElementsAre(t0 + 605));
  EXPECT_THAT(SentTicksBeforeStart(Req::Poll), ElementsAre(t0 + 1, t0 + 606));
  EXPECT_TRUE(testing::EndsWithVerdict(Log(), testing::kStillInBootloader)) << Log();
}

TEST_F(UpdateRepliesTest, ALateAcknowledgementOfTheLastBlockGoesStraightToProgramming) {
  BootloaderWithLateEraseAck(2);
  const int64_t t0 = pacer.ticks_run();
  StartUpdate(ExamplePath("fixture-app-1.1.srec2"));
  ASSERT_TRUE(RunToIdle(3000));
  EXPECT_THAT(Erased(), ElementsAre(0x4000u, 0x4000u));
  EXPECT_THAT(SentTicksBeforeStart(Req::Poll), ElementsAre(t0 + 1))
      << "no poll after the enter request";
  EXPECT_EQ(Of(Req::Program).front().tick, t0 + 606);
  EXPECT_TRUE(testing::EndsWithVerdict(Log(), testing::kStillInBootloader)) << Log();
}

TEST_F(UpdateRepliesTest, AnEchoThatDiffersFromTheImageLeavesTheChunkWhereItWas) {
  int programs = 0;
  device = [&](const Bytes& frame) {
    switch (testing::KindOf(frame)) {
      case Req::Poll:
        ReplyControl(0x04);
        break;
      case Req::Erase:
        ReplyEraseAck();
        break;
      case Req::Program: {
        Bytes pd = FramePd(frame);
        ++programs;
        if (programs == 1) {
          pd[8 + 100] ^= 0x01;  // one data byte differs
        } else if (programs == 2) {
          pd.push_back(0x00);  // the right data with a PDL one too long
        }
        Reply(GET_COMMAND_RESPONSE, PID_BOOTLOADER, pd);
        break;
      }
      default:
        return false;
    }
    return true;
  };
  StartUpdate(ExamplePath("fixture-app-1.1.srec2"));
  ASSERT_TRUE(pacer.RunUntil([&] { return programs == 1; }, 10));
  Ticks(2);
  EXPECT_EQ(window.job.write_address(), 0x4000u);
  ASSERT_TRUE(pacer.RunUntil([&] { return programs == 3; }, 300));
  const auto chunks = Of(Req::Program);
  EXPECT_EQ(chunks[1].tick - chunks[0].tick, 101);
  EXPECT_EQ(chunks[2].tick - chunks[1].tick, 101);
  EXPECT_EQ(chunks[1].frame, chunks[0].frame);
  EXPECT_EQ(chunks[2].frame, chunks[0].frame);
  Ticks(1);
  EXPECT_EQ(window.job.write_address(), 0x40C0u) << "the third, true echo moves on";
  ASSERT_TRUE(RunToIdle(2000));
  EXPECT_TRUE(testing::EndsWithVerdict(Log(), testing::kStillInBootloader)) << Log();
}

// An ACK_TIMER acknowledges nothing: the request goes again once the delay it tells has passed,
// counted in ticks (at most 3 s), and only the ACK after it counts.
TEST_F(UpdateRepliesTest, AnAckTimerPutsTheEraseTheChunkAndTheStartOffByItsDelay) {
  int erases = 0;
  int programs = 0;
  int starts = 0;
  const auto put_off = [this](uint16_t pid, uint8_t tenths) {
    driver.DeliverAfter(300, ResponseFrame(testing::kDeviceUid, SET_COMMAND_RESPONSE, pid,
                                           {0x00, tenths}, RESPONSE_TYPE_ACK_TIMER));
  };
  device = [&](const Bytes& frame) {
    switch (testing::KindOf(frame)) {
      case Req::Poll:
        ReplyControl(starts > 1 ? 0x00 : kControlBootLoader);
        break;
      case Req::Erase:
        ++erases == 1 ? put_off(PID_BOOTLOADER, 5) : ReplyEraseAck();
        break;
      case Req::Program:
        ++programs == 1 ? put_off(PID_BOOTLOADER, 100) : ReplyEcho(frame);
        break;
      case Req::Start:
        ++starts == 1 ? put_off(IDENTIFY_DEVICE, 10) : ReplyStartAck();
        break;
      default:
        return false;
    }
    return true;
  };
  StartUpdate(ExamplePath("fixture-app-1.1.srec2"));
  ASSERT_TRUE(RunToIdle(3000));
  const std::vector<int64_t> erase = SentTicks(Req::Erase);
  ASSERT_EQ(erase.size(), 2u);
  EXPECT_EQ(erase[1] - erase[0], 51) << "0.5 s, shorter than the erase's own wait";
  const auto chunks = Of(Req::Program);
  EXPECT_EQ(chunks[1].tick - chunks[0].tick, 301) << "10 s asked, 3 s granted";
  EXPECT_EQ(chunks[1].frame, chunks[0].frame);
  const std::vector<int64_t> start = SentTicks(Req::Start);
  ASSERT_EQ(start.size(), 2u);
  EXPECT_EQ(start[1] - start[0], 101);
  const std::string log = Log();
  EXPECT_NE(log.find("Erasing block $4000...\r\n"
                     "The bootloader put off the erase request (ACK_TIMER, 0.5 s); it is sent "
                     "again after 0.5 s.\r\n"
                     "Erasing block $4000...\r\n"),
            std::string::npos)
      << log;
  const std::string chunk = testing::ProgramLine(0x4000, 192) + "\r\n";
  EXPECT_NE(log.find(chunk +
                     "The bootloader put off the program request (ACK_TIMER, 10.0 s); it is sent "
                     "again after 3.0 s.\r\n" +
                     chunk),
            std::string::npos);
  EXPECT_NE(log.find("Starting user-program...\r\n"
                     "The bootloader put off the start request (ACK_TIMER, 1.0 s); it is sent "
                     "again after 1.0 s.\r\n"
                     "Starting user-program...\r\n"),
            std::string::npos);
  EXPECT_TRUE(testing::EndsWithVerdict(log, testing::kStartedApplication)) << log;
}

// Neither an echo from another UID nor an ACK_OVERFLOW acknowledges anything: the erase and the
// chunk go again, unchanged, after their own waits.
TEST_F(UpdateRepliesTest, NeitherAnotherUidsAnswerNorAnAckOverflowAcknowledges) {
  const RdmUid other = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x79};
  int erases = 0;
  int programs = 0;
  device = [&](const Bytes& frame) {
    switch (testing::KindOf(frame)) {
      case Req::Poll:
        ReplyControl(kControlBootLoader);
        break;
      case Req::Erase:
        driver.DeliverAfter(
            300, ResponseFrame(++erases == 1 ? other : testing::kDeviceUid, SET_COMMAND_RESPONSE,
                               PID_BOOTLOADER, {BOOT_SYNC, BOOT_ERASE}));
        break;
      case Req::Program:
        ++programs;
        driver.DeliverAfter(
            300, ResponseFrame(programs == 2 ? other : testing::kDeviceUid, GET_COMMAND_RESPONSE,
                               PID_BOOTLOADER, FramePd(frame),
                               programs == 1 ? RESPONSE_TYPE_ACK_OVERFLOW : RESPONSE_TYPE_ACK));
        break;
      default:
        return false;
    }
    return true;
  };
  StartUpdate(ExamplePath("fixture-app-1.1.srec2"));
  ASSERT_TRUE(pacer.RunUntil([&] { return programs == 4; }, 1000));
  const std::vector<int64_t> erase = SentTicks(Req::Erase);
  ASSERT_EQ(erase.size(), 2u);
  EXPECT_EQ(erase[1] - erase[0], 301);
  const auto chunks = Of(Req::Program);
  EXPECT_EQ(chunks[1].tick - chunks[0].tick, 101);
  EXPECT_EQ(chunks[2].tick - chunks[1].tick, 101);
  EXPECT_EQ(chunks[2].frame, chunks[0].frame);
  EXPECT_EQ(FramePd(chunks[3].frame)[4], 0x40) << "the third, true echo moves on to $40C0";
  EXPECT_EQ(FramePd(chunks[3].frame)[5], 0xC0);
  EXPECT_NE(Log().find("The bootloader answered the program request with ACK_OVERFLOW, which "
                       "acknowledges nothing.\r\n"),
            std::string::npos);
}

// Frames whose PDL claims more parameter data than the frame holds, handed over exactly as long
// as they are: no row matches, and nothing is read past their end.
TEST_F(UpdateRepliesTest, AReplyIsNeverReadPastTheBytesItHolds) {
  bool answer_polls = false;
  device = [&](const Bytes& frame) {
    switch (testing::KindOf(frame)) {
      case Req::Poll:
        if (answer_polls) {
          ReplyControl(0x04);
        }
        break;
      case Req::Erase:
        ReplyEraseAck();
        break;
      case Req::Program:
        break;  // the first chunk stays unanswered
      default:
        return false;
    }
    return true;
  };
  const auto hand_over = [this](const Bytes& frame) {
    window.job.OnReply(*RdmFrameView::Of(frame));
  };
  StartUpdate(ExamplePath("fixture-app-1.1.srec2"));
  Ticks(1);
  ASSERT_EQ(window.job.state(), UpdateState::kFindBootloader);

  Bytes control = ResponseFrame(testing::kDeviceUid, DISCOVERY_COMMAND_RESPONSE, DISC_UN_MUTE, {});
  control[kOffsetPdl] = 2;
  hand_over(control);
  EXPECT_EQ(window.job.state(), UpdateState::kFindBootloader);
  EXPECT_EQ(window.job.wait_ticks(), 50);

  // In the middle of programming: the first chunk is out and unanswered.
  answer_polls = true;
  ASSERT_TRUE(pacer.RunUntil([&] { return !Of(Req::Program).empty(); }, 200));
  ASSERT_EQ(window.job.state(), UpdateState::kProgramChunks);
  ASSERT_EQ(window.job.write_address(), 0x4000u);
  ASSERT_EQ(window.job.chunk_length(), 192u);
  // The right first 100 bytes of the chunk, of the 192 that the PDL claims.
  Bytes echo = {BOOT_SYNC, BOOT_PROGRAM, 0x80, 0x00, 0x40, 0x00, 0x00, 192};
  for (uint32_t a = 0x4000; a < 0x4000 + 100; ++a) {
    echo.push_back(window.image.bytes[a]);
  }
  Bytes chunk = ResponseFrame(testing::kDeviceUid, GET_COMMAND_RESPONSE, PID_BOOTLOADER, echo);
  chunk[kOffsetPdl] = 192 + 12;
  hand_over(chunk);
  EXPECT_EQ(window.job.write_address(), 0x4000u);

  const int16_t count = window.erase_plan.erase_count;
  Bytes erase = ResponseFrame(testing::kDeviceUid, SET_COMMAND_RESPONSE, PID_BOOTLOADER, {});
  erase[kOffsetPdl] = 2;
  hand_over(erase);
  EXPECT_EQ(window.erase_plan.erase_count, count);
  EXPECT_EQ(window.job.state(), UpdateState::kProgramChunks);
}

// E1.20 lets a fixture add its binding UID to the control field (PDL 8); other lengths are not
// a control field.
TEST_F(UpdateRepliesTest, AControlFieldWithABindingUidIsTakenAndOtherLengthsAreNot) {
  for (const uint8_t pdl : {8, 2, 4}) {
    device = [&](const Bytes& frame) {
      if (testing::KindOf(frame) == Req::Poll) {
        Bytes pd = {0x00, kControlBootLoader, 0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};
        pd.resize(pdl);
        Reply(DISCOVERY_COMMAND_RESPONSE, DISC_UN_MUTE, pd);
      }
      return true;
    };
    StartUpdate(ExamplePath("fixture-app-1.1.srec2"));
    Ticks(3);
    EXPECT_EQ(window.job.state(),
              pdl == 4 ? UpdateState::kFindBootloader : UpdateState::kEraseBlocks)
        << int{pdl};
    window.AbortUpdate();
    Ticks(301);  // the wait the aborted run left
  }
}

TEST_F(UpdateRepliesTest, ALowBootloaderWithANewBootloaderToFlashPollsUntilTheBudgetEnds) {
  device = [&](const Bytes& frame) {
    if (testing::KindOf(frame) == Req::Poll) {
      ReplyControl(0x04 | 0x08);
    }
    return true;
  };
  // Code from 0x10000: the first erase address lies above 0xE000.
  const std::string path = folder.Write("high.srec2", Srec2Text({Changed(0x10000, 64)}));
  const int64_t t0 = pacer.ticks_run();
  StartUpdate(path);
  ASSERT_EQ(window.erase_plan.erase_list[0], 0x10000u);
  ASSERT_TRUE(RunToIdle(400));
  EXPECT_THAT(SentTicks(Req::Poll), ElementsAre(t0 + 1, t0 + 52, t0 + 103, t0 + 154));
  EXPECT_EQ(sent.size(), 4u) << "nothing but polls";
  EXPECT_EQ(pacer.ticks_run() - t0, 205);
  const std::string poll =
      "Looking for bootloader...\r\n"
      "Low Bootloader Detected!\r\n"
      "Flashing new BootLoader...\r\n";
  EXPECT_TRUE(testing::EndsWithReason(Log(), poll + poll + poll + poll + testing::kAborted,
                                      "The fixture stopped answering: "))
      << Log();
}

TEST_F(UpdateRepliesTest, ALowBootloaderIsAskedToJumpIntoTheBootloaderProper) {
  int polls = 0;
  device = [&](const Bytes& frame) {
    if (testing::KindOf(frame) == Req::Poll) {
      ReplyControl(++polls == 1 ? 0x0C : 0x04);
    } else if (testing::KindOf(frame) == Req::Start) {
      return false;  // acknowledged
    }
    return true;
  };
  const int64_t t0 = pacer.ticks_run();
  StartUpdate(ExamplePath("fixture-app-1.1.srec2"));
  ASSERT_TRUE(pacer.RunUntil([&] { return !Of(Req::Erase).empty(); }, 100));
  EXPECT_THAT(SentTicks(Req::Start), ElementsAre(t0 + 2));
  // The wait of 20 is set by the reply, before the same tick's step counts it down once.
  EXPECT_THAT(SentTicks(Req::Poll), ElementsAre(t0 + 1, t0 + 22));
  EXPECT_TRUE(testing::EndsWith(Log(),
                                "Looking for bootloader...\r\n"
                                "Low Bootloader Detected!\r\n"
                                "Trying to jump into BootLoader...\r\n"
                                "Looking for bootloader...\r\n"
                                "Erasing block $4000...\r\n"));
  EXPECT_EQ(window.job.state(), UpdateState::kEraseBlocks) << "its acknowledgement was only a beep";
}

}  // namespace
}  // namespace quillmont
