// SPDX-License-Identifier: Apache-2.0
// Whole firmware updates of the example files on the simulated fixture, tick by tick on a
// virtual clock: the log to the byte, the progress bar, and the flash and the running version
// afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <string>

#include "app/updater_events.h"
#include "sim/simulated_line.h"
#include "update_bench.h"
#include "update_sim_bench.h"

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
  expected += testing::kStartAcknowledged;
  // The success line only once the new application answered.
  expected += testing::kWellDone;
  expected += "The fixture answers from its new application, software version \"";
  EXPECT_EQ(window.log_text.substr(mark, expected.size()), expected);
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

// What a front end that knows nothing of the window's texts learns of a whole update: the
// events in their order, each with what it carries.
class EventTrace : public UpdaterEvents {
 public:
  void OnLinkChanged(bool open) override { Add(open ? "link open" : "link lost"); }
  void OnDiscovery(const DiscoveryEvent& e) override {
    Add(e.found ? "found " + FormatUid(e.uid) : "not found");
  }
  void OnReplyAccepted(const RdmFrameView& /*frame*/) override { ++replies; }
  void OnCommandAnswered(const CommandAnswer& a) override {
    char text[48];
    std::snprintf(text, sizeof text, "answer %02X %04X type %u", a.command_class, a.pid,
                  a.response_type);
    Add(text);
  }
  void OnDeviceInfo(const DeviceInfoEvent& e) override { Add("info " + e.text); }
  // Consecutive requests of one step are one entry; the bytes sent and the share written never go
  // down.
  void OnUpdateProgress(const UpdateProgress& p) override {
    EXPECT_GE(p.sent, last.sent);
    EXPECT_GE(p.Percent(), last.Percent());
    if (p.Percent() == 100 && full_in_step < 0) {
      full_in_step = static_cast<int>(p.step);
    }
    const std::string step = "step " + std::to_string(static_cast<int>(p.step));
    if (trace.empty() || trace.back() != step) {
      Add(step);
    }
    last = p;
  }
  void OnUpdateEnded(UpdateOutcome outcome) override {
    Add("ended " + std::to_string(static_cast<int>(outcome)));
  }
  void Add(const std::string& entry) { trace.push_back(entry); }

  std::vector<std::string> trace;
  UpdateProgress last;
  int full_in_step = -1;  // the step whose request first reported 100 %
  int replies = 0;
};

class UpdateEventsTest : public ::testing::Test, public testing::SimUpdateBench {};

TEST_F(UpdateEventsTest, AWholeUpdateIsToldAsEvents) {
  EventTrace events;
  window.set_events(&events);
  Connect();
  const std::string path = ExamplePath("fixture-app-1.1.srec2");
  const LoadedFirmware file = LoadFirmware(path);
  Update(path, 2000);
  ASSERT_TRUE(finished);
  window.set_events(nullptr);

  const std::vector<std::string> expected = {
      "link open",
      "found 4F 4C 12 34 56 78",
      "answer 21 0080 type 0",
      "info Quillmont Sim Spot",
      "answer 21 00C0 type 0",
      "info Quillmont demo app 1.0",  // the address's answer goes in the start's drain
      "step 1",                       // the poll, answered by the application
      "step 2",                       // enter the bootloader
      "step 1",                       // the poll, answered by the bootloader
      "step 3",                       // erase
      "step 5",                       // program the chunks
      "step 6",                       // then the signature
      "step 7",                       // start the new application
      "answer 31 1000 type 0",
      "step 8",  // the polls until the new application answers
      "answer 21 00C0 type 0",
      "info Quillmont demo app 1.1",  // its version label, read by the verification
      "ended 0",
  };
  EXPECT_EQ(events.trace, expected);
  EXPECT_EQ(events.last.total, file.raw->loaded_count);
  EXPECT_EQ(events.last.sent, window.job.sent_count());
  // 100 % only once the signature, the last chunk, is written: with the start request.
  EXPECT_EQ(events.full_in_step, static_cast<int>(UpdateState::kStartUserProgram));
  EXPECT_EQ(events.last.written, events.last.to_write);
  EXPECT_GT(events.replies, 0);
}

}  // namespace
}  // namespace quillmont
