// SPDX-License-Identifier: Apache-2.0
// The update procedure's waits and attempt budgets, counted in ticks on a scripted line: which
// request goes out on which tick, what is resent unchanged, and where the budget ends the run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "update_bench.h"

namespace quillmont {
namespace {

using testing::Bytes;
using ::testing::ElementsAre;
using testing::ExamplePath;
using testing::FramePd;
using testing::Req;

class UpdateBudgetTest : public ::testing::Test, public testing::ScriptedUpdateBench {
 protected:
  void SetUp() override { Connect(); }
  // Starts an update of `file` and returns the tick the click came after.
  int64_t Start(const char* file = "fixture-app-1.1.srec2") {
    path = ExamplePath(file);
    StartUpdate(path);
    return pacer.ticks_run();
  }
  // The log of a start: the file and the analysis lines.
  std::string StartLog() const {
    const testing::LoadedFirmware f = testing::LoadFirmware(path);
    return "Reading " + path + "\r\n" + FormatAnalysisLog(f.analysis, f.plan) + "\r\n";
  }
  // Up to the start request: what the verification after it polls is left out.
  std::vector<int64_t> After(int64_t t0, Req kind) const {
    std::vector<int64_t> ticks = SentTicksBeforeStart(kind);
    for (int64_t& t : ticks) {
      t -= t0;
    }
    return ticks;
  }

  std::string path;
};

TEST_F(UpdateBudgetTest, UnansweredPollsGoOutFourTimes51TicksApartThenTheUpdateAborts) {
  const int64_t t0 = Start();
  EXPECT_TRUE(sent.empty()) << "the click itself sends nothing";
  ASSERT_TRUE(RunToIdle(400));
  EXPECT_EQ(pacer.ticks_run() - t0, 205) << "the fifth acting step aborts";
  EXPECT_THAT(After(t0, Req::Poll), ElementsAre(1, 52, 103, 154));
  EXPECT_EQ(sent.size(), 4u);
  const Bytes& poll = sent[0].frame;
  EXPECT_EQ(poll[kOffsetPdl], 0);
  EXPECT_EQ(poll.size(), kRdmFrameOverhead);
  EXPECT_EQ(poll[kOffsetSubDevice] | poll[kOffsetSubDevice + 1], 0);

  std::string expected = StartLog();
  for (int i = 0; i < 4; ++i) {
    expected += "Looking for bootloader...\r\n";
  }
  EXPECT_EQ(Log(), expected + testing::kAborted +
                       "The fixture stopped answering: the poll (DISC_UN_MUTE) went unanswered "
                       "(sent 4 times). Nothing on the fixture was changed.\r\n");
  EXPECT_EQ(port.Text(kUpdateButton), "Update Firmware");
  Ticks(300);
  EXPECT_EQ(sent.size(), 4u) << "nothing is sent after the abort";
}

TEST_F(UpdateBudgetTest, TheApplicationIsToldToEnterItsBootloaderOnTheTickItAnswers) {
  int polls = 0;
  device = [&](const Bytes& frame) {
    if (testing::KindOf(frame) == Req::Poll && ++polls == 1) {
      ReplyControl(0x00);
    }
    return true;
  };
  const int64_t t0 = Start();
  ASSERT_TRUE(RunToIdle(400));
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0].kind, Req::Poll);
  EXPECT_EQ(sent[1].kind, Req::Enter);
  EXPECT_EQ(sent[1].tick - t0, 2) << "the reply's own tick";
  EXPECT_EQ(FramePd(sent[1].frame), (Bytes{0x55, 0xAA}));
  EXPECT_EQ(sent[1].frame[kOffsetCommandClass], SET_COMMAND);
  EXPECT_EQ(testing::FramePid(sent[1].frame), 0xCA55);
  EXPECT_THAT(After(t0, Req::Poll), ElementsAre(1, 23, 74));
  EXPECT_EQ(pacer.ticks_run() - t0, 125);
  EXPECT_EQ(Log(), StartLog() +
                       "Looking for bootloader...\r\n"
                       "Entering bootloader...\r\n"
                       "Looking for bootloader...\r\n"
                       "Looking for bootloader...\r\n" +
                       testing::kAborted +
                       "The fixture stopped answering: the poll (DISC_UN_MUTE) went unanswered "
                       "(sent 2 times). The fixture was asked to enter its bootloader and may be "
                       "waiting there.\r\n");
}

TEST_F(UpdateBudgetTest, AnUnansweredEraseGoesOutTwiceThenTheBootloaderIsEnteredAgain) {
  int polls = 0;
  device = [&](const Bytes& frame) {
    if (testing::KindOf(frame) == Req::Poll && ++polls == 1) {
      ReplyControl(0x04);
    }
    return true;
  };
  const int64_t t0 = Start();
  ASSERT_TRUE(RunToIdle(1000));
  EXPECT_THAT(After(t0, Req::Erase), ElementsAre(2, 303));
  EXPECT_EQ(FramePd(Of(Req::Erase)[0].frame),
            (Bytes{0x55, 0xA1, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0xA1, 0x95}));
  EXPECT_EQ(Of(Req::Erase)[1].frame, Of(Req::Erase)[0].frame);
  EXPECT_THAT(After(t0, Req::Enter), ElementsAre(605)) << "a silent step at 604, then enter";
  EXPECT_THAT(After(t0, Req::Poll), ElementsAre(1, 626));
  EXPECT_EQ(pacer.ticks_run() - t0, 677);
  EXPECT_TRUE(testing::EndsWithReason(Log(),
                                      std::string("Erasing block $4000...\r\n"
                                                  "Erasing block $4000...\r\n"
                                                  "Entering bootloader...\r\n"
                                                  "Looking for bootloader...\r\n") +
                                          testing::kAborted,
                                      "The fixture stopped answering: the poll (DISC_UN_MUTE)"))
      << Log();
  EXPECT_EQ(window.erase_plan.erase_count, 1) << "nothing was acknowledged";
}

TEST_F(UpdateBudgetTest, ErasingResumesAtTheFirstBlockNotAcknowledged) {
  int erases = 0;
  device = [&](const Bytes& frame) {
    switch (testing::KindOf(frame)) {
      case Req::Poll:
        ReplyControl(0x04);
        break;
      case Req::Erase:
        if (++erases != 2) {
          ReplyEraseAck();  // the second erase (0x800) goes unanswered
        }
        break;
      case Req::Program:
        ReplyEcho(frame);
        break;
      default:
        return false;  // the start request is acknowledged
    }
    return true;
  };
  const int64_t t0 = Start("fixture-low-blocks.srec2");
  ASSERT_TRUE(RunToIdle(2000));
  std::vector<uint32_t> erased;
  for (const auto& s : Of(Req::Erase)) {
    const Bytes pd = FramePd(s.frame);
    erased.push_back(static_cast<uint32_t>(pd[2] << 24 | pd[3] << 16 | pd[4] << 8 | pd[5]));
  }
  EXPECT_THAT(erased, ElementsAre(0x400u, 0x800u, 0x800u, 0x4000u, 0x8000u));
  // 0x800 once after the acknowledged 0x400, then the fall-back: enter, poll, erase again.
  EXPECT_THAT(After(t0, Req::Erase), ElementsAre(2, 3, 327, 328, 329));
  EXPECT_THAT(After(t0, Req::Enter), ElementsAre(305));
  EXPECT_THAT(After(t0, Req::Poll), ElementsAre(1, 326));
  // The scripted bootloader never leaves: the polls after the acknowledged start say so.
  EXPECT_TRUE(testing::EndsWithVerdict(Log(), testing::kStillInBootloader)) << Log();
}

TEST_F(UpdateBudgetTest, TheFirstChunkGoesOutFiveTimesUnchangedThenTheUpdateAborts) {
  device = [&](const Bytes& frame) {
    const Req kind = testing::KindOf(frame);
    if (kind == Req::Poll) {
      ReplyControl(0x04);
    } else if (kind == Req::Erase) {
      ReplyEraseAck();
    }
    return true;
  };
  const int64_t t0 = Start();
  ASSERT_TRUE(RunToIdle(1000));
  EXPECT_THAT(After(t0, Req::Program), ElementsAre(3, 104, 205, 306, 407));
  EXPECT_EQ(pacer.ticks_run() - t0, 508);
  const auto chunks = Of(Req::Program);
  for (const auto& c : chunks) {
    EXPECT_EQ(c.frame, chunks[0].frame);
  }
  EXPECT_EQ(window.job.sent_count(), 5 * 192) << "resends count towards the bar";
  EXPECT_EQ(port.fills.size(), 5u);
  EXPECT_TRUE(testing::EndsWithReason(
      Log(), "Programming $4000 (192 bytes)...\r\n" + std::string(testing::kAborted),
      "The fixture stopped answering: the program request for $4000 (192 bytes) went unanswered "
      "(sent 5 times). The fixture is left in its bootloader"))
      << Log();
}

TEST_F(UpdateBudgetTest, ALaterChunkGoesOutFourTimesThenTheUpdateAborts) {
  int programs = 0;
  device = [&](const Bytes& frame) {
    const Req kind = testing::KindOf(frame);
    if (kind == Req::Poll) {
      ReplyControl(0x04);
    } else if (kind == Req::Erase) {
      ReplyEraseAck();
    } else if (kind == Req::Program && ++programs == 1) {
      ReplyEcho(frame);
    }
    return true;
  };
  const int64_t t0 = Start();
  ASSERT_TRUE(RunToIdle(1000));
  EXPECT_THAT(After(t0, Req::Program), ElementsAre(3, 4, 105, 206, 307));
  EXPECT_EQ(pacer.ticks_run() - t0, 408);
  const auto chunks = Of(Req::Program);
  EXPECT_EQ(FramePd(chunks[1].frame)[4], 0x40);
  EXPECT_EQ(FramePd(chunks[1].frame)[5], 0xC0) << "the second chunk starts at 0x40C0";
  for (size_t i = 2; i < chunks.size(); ++i) {
    EXPECT_EQ(chunks[i].frame, chunks[1].frame);
  }
  EXPECT_EQ(window.job.write_address(), 0x40C0u);
}

TEST_F(UpdateBudgetTest, ThreeUnansweredStartRequestsEndTheUpdateWithoutSuccess) {
  device = [&](const Bytes& frame) {
    const Req kind = testing::KindOf(frame);
    if (kind == Req::Poll) {
      ReplyControl(0x04);
    } else if (kind == Req::Erase) {
      ReplyEraseAck();
    } else if (kind == Req::Program) {
      ReplyEcho(frame);
    }
    return true;  // the start request goes unanswered
  };
  Start();
  ASSERT_TRUE(RunToIdle(3000));
  const std::vector<int64_t> starts = SentTicks(Req::Start);
  ASSERT_EQ(starts.size(), 3u);
  EXPECT_EQ(starts[1] - starts[0], 21);
  EXPECT_EQ(starts[2] - starts[1], 21);
  EXPECT_EQ(pacer.ticks_run(), starts[2]) << "the third request ends the procedure";
  EXPECT_EQ(FramePd(Of(Req::Start)[0].frame), (Bytes{0x01}));
  EXPECT_TRUE(testing::EndsWith(Log(),
                                "Starting user-program...\r\n"
                                "Starting user-program...\r\n"
                                "Starting user-program...\r\n"
                                "The bootloader did not acknowledge the request to start the new "
                                "application. The new firmware is written; the fixture may still "
                                "be in its bootloader.\r\n"))
      << Log();
  EXPECT_EQ(port.Text(kUpdateButton), "Update Firmware");

  // The signature went last: 4 bytes of "GKJA" at 0x4100, its sum carried past 16 bits.
  const auto chunks = Of(Req::Program);
  ASSERT_FALSE(chunks.empty());
  EXPECT_EQ(FramePd(chunks.back().frame), (Bytes{0x55, 0xA4, 0x80, 0x00, 0x41, 0x00, 0x00, 0x04,
                                                 0x47, 0x4B, 0x4A, 0x41, 0x00, 0x01, 0x35, 0xA7}));

  // A late acknowledgement only beeps.
  const int beeps = port.beeps;
  ReplyStartAck();
  Ticks(2);
  EXPECT_EQ(port.beeps, beeps + 1);
  EXPECT_EQ(window.job.state(), UpdateState::kIdle);
  EXPECT_EQ(Log().find("VERY WELL DONE"), std::string::npos);
}

}  // namespace
}  // namespace quillmont
