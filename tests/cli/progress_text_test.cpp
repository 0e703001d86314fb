// SPDX-License-Identifier: Apache-2.0
#include "cli/progress_text.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/console_renderer.h"
#include "cli/console_text.h"

namespace quillmont::cli {
namespace {

TEST(ProgressTextTest, ShowsPercentBytesRateTimeLeftAndStep) {
  FlashProgress p;
  p.to_write = 11936;
  p.written = 5968;
  p.percent = 50;
  p.program_micros = 2000000;  // 2984 B/s
  p.step = "Programming $5740 (192 bytes)...";
  EXPECT_EQ(FormatProgressLine(p),
            " 50%  5968/11936 B  2.9 KiB/s  0:02 left  Programming $5740 (192 bytes)...");
}

TEST(ProgressTextTest, NoRateBeforeProgrammingHasRunAMoment) {
  FlashProgress p;
  p.to_write = 1000;
  p.written = 192;
  p.percent = 19;
  p.program_micros = 100000;
  p.step = "Erasing block $4000...";
  EXPECT_EQ(FormatProgressLine(p), " 19%  192/1000 B  --  -- left  Erasing block $4000...");
}

TEST(ProgressTextTest, ClampsPastTheEndAndCutsTheStepToTheWidth) {
  FlashProgress p;
  p.to_write = 100;
  p.written = 104;  // more than the requests hold: clamped
  p.percent = 100;
  p.program_micros = 1000000;
  p.step = "Starting user-program...";
  const std::string line = FormatProgressLine(p, 40);
  EXPECT_EQ(line, "100%  100/100 B  100 B/s  0:00 left  Sta");
  EXPECT_EQ(line.size(), 40u);
  p.to_write = 0;  // nothing to write yet: no division by zero
  p.percent = 0;
  EXPECT_EQ(FormatProgressLine(p, 20).substr(0, 4), "  0%");
  // The share is the update's own: every byte written but the signature not yet is not 100 %.
  p.to_write = p.written = 100;
  p.percent = 99;
  EXPECT_EQ(FormatProgressLine(p, 20).substr(0, 4), " 99%");
}

TEST(ProgressTextTest, DurationsAndRates) {
  EXPECT_EQ(FormatDuration(0), "0:00");
  EXPECT_EQ(FormatDuration(751), "12:31");
  EXPECT_EQ(FormatDuration(3723), "1:02:03");
  EXPECT_EQ(FormatRate(1023.4), "1023 B/s");
  EXPECT_EQ(FormatRate(1536), "1.5 KiB/s");
}

// On a terminal the live line is erased before the next line is written, so no stale "0%" is
// left behind, and it is cut one column short of the terminal's width, so it never wraps.
TEST(ProgressTextTest, TheLiveLineIsErasedBeforeTheNextLineAndFitsTheTerminal) {
  std::ostringstream terminal;
  GuardedStream err(terminal, false);
  std::ostringstream out;
  ConsoleRenderer console(CliOutput{out, err, &terminal, true, false, 30, nullptr}, false,
                          ConsoleRenderer::Layout::kOneLine, 1);
  FlashProgress p;
  p.to_write = 11972;
  p.step = "Erasing block $4000...";
  console.OnProgress(0, p);
  console.OnLogLine(0, "Starting user-program...", false);
  err.flush();
  EXPECT_EQ(terminal.str(),
            "\r\x1B[K  0%  0/11972 B  --  -- left \r\x1B[KStarting user-program...\n");
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace quillmont::cli
