// SPDX-License-Identifier: Apache-2.0
#include "station/headless_port.h"

#include <gtest/gtest.h>

#include "app/control_ids.h"

namespace quillmont {
namespace {

TEST(HeadlessPortTest, LogLinesStatusChangesAndBoxesGoToTheirHooksOnce) {
  HeadlessPort port;
  std::vector<std::string> lines;
  std::vector<std::string> statuses;
  std::vector<std::string> boxes;
  port.on_log_line = [&lines](const std::string& line) { lines.push_back(line); };
  port.on_status = [&statuses](const std::string& text) { statuses.push_back(text); };
  port.on_message_box = [&boxes](const std::string& text) { boxes.push_back(text); };
  port.SetControlText(kLogPane, "Reading a.srec2\r\nLooking");
  port.SetControlText(kLogPane, "Reading a.srec2\r\nLooking for bootloader...\r\n\r\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"Reading a.srec2", "Looking for bootloader...", ""}));
  // A log that was replaced, not extended, is read from its start.
  port.SetControlText(kLogPane, "New\r\n");
  EXPECT_EQ(lines.back(), "New");
  port.SetControlText(kStatusLine, "Connected");
  port.SetControlText(kStatusLine, "Connected");  // unchanged: not told again
  port.SetControlText(kStatusLine, "Discover Node...");
  port.ShowMessageBox("Invalid RDM ID.");
  EXPECT_EQ(statuses, (std::vector<std::string>{"Connected", "Discover Node..."}));
  EXPECT_EQ(boxes, std::vector<std::string>{"Invalid RDM ID."});
}

TEST(HeadlessPortTest, TheFileDialogIsAnsweredOnceAndTheBarIsAFraction) {
  HeadlessPort port;
  port.AnswerFileDialogWith("fw.srec2");
  EXPECT_EQ(port.OpenFileDialog(FileDialogRequest{}), "fw.srec2");
  EXPECT_EQ(port.OpenFileDialog(FileDialogRequest{}), std::nullopt);
  double fraction = -1;
  port.on_progress = [&fraction](double f) { fraction = f; };
  port.FillRect(Rect{0, 0, HeadlessPort::kBarWidth / 4, 25}, Rgb{}, Rgb{});
  EXPECT_DOUBLE_EQ(fraction, 0.25);
  port.FillRect(Rect{0, 0, 2 * HeadlessPort::kBarWidth, 25}, Rgb{}, Rgb{});
  EXPECT_DOUBLE_EQ(fraction, 1.0);
}

}  // namespace
}  // namespace quillmont
