// Whole firmware updates of the example files on the simulated fixture, tick by tick on a
// virtual clock: the log to the byte, the progress bar, and the flash and the running version
// afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

#include "sim/simulated_line.h"
#include "update_bench.h"

namespace quillmont {
namespace {

using testing::ExamplePath;
using testing::LoadedFirmware;
using testing::LoadFirmware;
using testing::ProgramLine;
using testing::WindowHarness;

struct Example {
  const char* file;
  uint32_t signature_address;
  std::array<uint8_t, 4> signature_value;
};

struct SimParts {
  VirtualClock clock;
  SimulatedLine line{clock};
};

class ExampleUpdateTest : public ::testing::TestWithParam<Example>,
                          public SimParts,
                          public WindowHarness {
 protected:
  ExampleUpdateTest() : WindowHarness(line, clock) {
    line.AddAdapter();
    FixtureConfig config;
    config.signature_address = GetParam().signature_address;
    config.signature_value = GetParam().signature_value;
    line.AddFixture(0, config);
  }
  SimulatedFixture& Fixture() { return line.fixture(0); }
};

TEST_P(ExampleUpdateTest, RunsFromTheApplicationToTheNewVersion) {
  const std::string path = ExamplePath(GetParam().file);
  const LoadedFirmware file = LoadFirmware(path);
  const std::vector<PlannedChunk> chunks = PlanChunks(*file.analysed, file.analysis);
  ASSERT_GE(chunks.size(), 2u);

  Init();
  ASSERT_TRUE(pacer.RunUntil([&] { return !port.Text(kVersionLabel).empty(); }, 20));
  ASSERT_EQ(port.Text(kVersionLabel), "Quillmont demo app 1.0");
  ASSERT_EQ(Fixture().stage(), FixtureStage::kApplication);
  const size_t mark = window.log_text.size();

  port.file_dialog_answers.push_back(path);
  window.OnUpdateButton();
  EXPECT_EQ(port.Text(kUpdateButton), "Abort Operation");
  EXPECT_EQ(port.invalidates, 1);
  ASSERT_TRUE(pacer.RunUntil([&] { return window.job.state() == UpdateState::kIdle; }, 2000));

  std::string expected = "Reading " + path + "\r\n" + FormatAnalysisLog(file.analysis, file.plan) +
                         "\r\n" +
                         "Looking for bootloader...\r\n"
                         "Entering bootloader...\r\n"
                         "Looking for bootloader...\r\n";
  for (int16_t i = 0; i < file.plan.erase_count; ++i) {
    expected += "Erasing block $" + testing::Hex(file.plan.erase_list[i]) + "...\r\n";
  }
  for (const PlannedChunk& c : chunks) {
    expected += ProgramLine(c.address, c.length) + "\r\n";
  }
  expected += "Starting user-program...\r\n";
  expected += testing::kWellDone;
  EXPECT_EQ(window.log_text.substr(mark), expected);
  EXPECT_EQ(port.Text(kUpdateButton), "Update Firmware");

  // One bar per program request, growing from red to green; the last one full and pure green.
  ASSERT_EQ(port.fills.size(), chunks.size());
  const Rect area = window.progress_rect;
  const int64_t width = area.right - area.left;
  int64_t sent = 0;
  for (size_t i = 0; i < chunks.size(); ++i) {
    sent += chunks[i].length;
    const int64_t v = std::min<int64_t>(sent * 255 / file.raw->loaded_count, 255);
    const int64_t w = std::min<int64_t>(width * sent / file.raw->loaded_count, width);
    const auto& fill = port.fills[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(fill.rect.left, area.left);
    EXPECT_EQ(fill.rect.top, area.top);
    EXPECT_EQ(fill.rect.right, area.left + w);
    EXPECT_EQ(fill.rect.bottom, area.top + 25);
    EXPECT_EQ(fill.pen.r + fill.pen.g + fill.pen.b, 3 * 255);
    EXPECT_EQ(fill.brush.r, 255 - v);
    EXPECT_EQ(fill.brush.g, v);
    EXPECT_EQ(fill.brush.b, 0);
  }
  EXPECT_EQ(port.fills.back().rect.right, area.right);
  EXPECT_EQ(port.fills.back().brush.r, 0);
  EXPECT_EQ(port.fills.back().brush.g, 255);
  EXPECT_LT(port.fills.front().brush.g, 255) << "the bar starts short of green";

  uint32_t mismatch = 0;
  EXPECT_TRUE(FlashHoldsImage(Fixture().flash(), *file.raw, &mismatch))
      << "first wrong byte at 0x" << testing::Hex(mismatch);

  // The fixture resets into the new application.
  Ticks(10);
  EXPECT_EQ(Fixture().stage(), FixtureStage::kApplication);
  std::string label;
  for (uint32_t a = GetParam().signature_address + 0x10; file.raw->bytes[a] != 0; ++a) {
    label += static_cast<char>(file.raw->bytes[a]);
  }
  ASSERT_FALSE(label.empty());
  EXPECT_EQ(Fixture().ApplicationLabel(), label);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ExampleUpdateTest,
    ::testing::Values(Example{"fixture-app-1.1.srec2", 0x4100, {0x47, 0x4B, 0x4A, 0x41}},
                      Example{"fixture-low-blocks.srec2", 0x4100, {0x47, 0x4B, 0x4A, 0x41}},
                      Example{"fixture-low-start.srec2", 0x2000, {0x02, 0x21, 0x02, 0x23}}),
    [](const ::testing::TestParamInfo<Example>& info) {
      std::string name = info.param.file;
      name.erase(name.rfind(".srec2"));
      for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      }
      return name;
    });

}  // namespace
}  // namespace quillmont
