#include "cli/console_port.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/control_ids.h"

namespace quillmont::cli {
namespace {

TEST(ConsolePortTest, LogLinesAreSplitAtTheirLineEndsAndPrintedOnce) {
  std::ostringstream out;
  std::ostringstream err;
  ConsolePort port(out, err);
  std::vector<std::string> hooked;
  port.on_log_line = [&hooked](const std::string& line) { hooked.push_back(line); };
  port.SetControlText(kLogPane, "Reading a.srec2\r\nLooking");
  port.SetControlText(kLogPane, "Reading a.srec2\r\nLooking for bootloader...\r\n\r\n");
  EXPECT_EQ(out.str(), "Reading a.srec2\nLooking for bootloader...\n\n");
  EXPECT_EQ(hooked, (std::vector<std::string>{"Reading a.srec2", "Looking for bootloader...", ""}));
  // A log that was replaced, not extended, is read from its start.
  port.SetControlText(kLogPane, "New\r\n");
  EXPECT_EQ(hooked.back(), "New");
}

TEST(ConsolePortTest, QuietPortLeavesTheStreamsToItsHooks) {
  std::ostringstream out;
  std::ostringstream err;
  ConsolePort port(out, err);
  port.set_quiet(true);
  std::vector<std::string> statuses;
  std::vector<std::string> boxes;
  port.on_status = [&statuses](const std::string& text) { statuses.push_back(text); };
  port.on_message_box = [&boxes](const std::string& text) { boxes.push_back(text); };
  port.SetControlText(kStatusLine, "Connected");
  port.SetControlText(kStatusLine, "Connected");  // unchanged: not told again
  port.SetControlText(kStatusLine, "Discover Node...");
  port.SetControlText(kLogPane, "line\r\n");
  port.ShowMessageBox("Invalid RDM ID.");
  EXPECT_EQ(statuses, (std::vector<std::string>{"Connected", "Discover Node..."}));
  EXPECT_EQ(boxes, std::vector<std::string>{"Invalid RDM ID."});
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "");
}

TEST(ConsolePortTest, TheFileDialogIsAnsweredOnceAndTheBarIsAFraction) {
  std::ostringstream out;
  std::ostringstream err;
  ConsolePort port(out, err);
  port.AnswerFileDialogWith("fw.srec2");
  EXPECT_EQ(port.OpenFileDialog(FileDialogRequest{}), "fw.srec2");
  EXPECT_EQ(port.OpenFileDialog(FileDialogRequest{}), std::nullopt);
  double fraction = -1;
  port.on_progress = [&fraction](double f) { fraction = f; };
  port.FillRect(Rect{0, 0, ConsolePort::kBarWidth / 4, 25}, Rgb{}, Rgb{});
  EXPECT_DOUBLE_EQ(fraction, 0.25);
  port.FillRect(Rect{0, 0, 2 * ConsolePort::kBarWidth, 25}, Rgb{}, Rgb{});
  EXPECT_DOUBLE_EQ(fraction, 1.0);
}

}  // namespace
}  // namespace quillmont::cli
