// SPDX-License-Identifier: Apache-2.0
// The window's update through the station, at the core: the Update button's file read by the
// station, the typed result and the record at the end, and the window's log as it is without the
// station. On the simulated fixture, ticked as the window's timer ticks it.
#include "station/window_station.h"

#include <gtest/gtest.h>

#include <sstream>

#include "../update/srec2_test_files.h"
#include "app/tick_pacer.h"
#include "drivers/driver_choice.h"
#include "station/file_digest.h"
#include "station/headless_port.h"
#include "station/history.h"

namespace quillmont {
namespace {

// A window on its own simulated line, its fixture found and its texts read; with `settings`, a
// station attached before the window starts, as the program attaches it.
struct WindowRun {
  explicit WindowRun(const RunSettings* settings = nullptr) {
    DriverOptions options;
    options.simulate = true;
    options.sim.fast = true;
    drivers = MakeDriver(*ParseDriverOptions(options)).value();
    window = std::make_unique<UpdaterWindow>(port, drivers->driver(), drivers->clock(), diag);
    pacer = std::make_unique<TickPacer>(*window, *drivers->virtual_clock());
    if (settings != nullptr) {
      station = std::make_unique<WindowStation>(*drivers, *settings, events);
      station->Attach(*window);
    }
    window->settings_path.clear();
    window->OnInit();
    EXPECT_TRUE(pacer->RunUntil([this] { return window->device_found != 0; }, 100));
    pacer->RunTicks(20);
  }
  void Update(const std::string& path) {
    port.AnswerFileDialogWith(path);
    window->OnUpdateButton();
    EXPECT_TRUE(pacer->RunUntil([this] { return !window->job.running(); }, 20000));
  }

  std::unique_ptr<DriverSet> drivers;
  HeadlessPort port;
  std::ostringstream diag;
  std::unique_ptr<UpdaterWindow> window;
  std::unique_ptr<TickPacer> pacer;
  StationEvents events;
  std::unique_ptr<WindowStation> station;  // goes before the window it is attached to
};

TEST(WindowStationTest, TheUpdateButtonsRunIsTypedAndRecordedAndLogsWhatItLoggedBefore) {
  const testing::TestFolder folder;
  UpdateHistory history(folder.path() / "history.jsonl");
  RunSettings settings;
  settings.program = "quillmont";
  settings.history = &history;
  const std::string firmware =
      std::string(QUILLMONT_SOURCE_DIR) + "/examples/fixture-app-1.1.srec2";

  WindowRun plain;
  plain.Update(firmware);
  WindowRun through(&settings);
  through.Update(firmware);
  EXPECT_EQ(through.window->log_text, plain.window->log_text);

  ASSERT_TRUE(through.station->last_result());
  const FlashResult& result = *through.station->last_result();
  EXPECT_EQ(result.verdict, FlashVerdict::kSuccess) << result.detail;
  EXPECT_TRUE(result.flash_checked);
  EXPECT_EQ(result.uid, "4F 4C 12 34 56 78");
  EXPECT_EQ(result.version_before, "Quillmont demo app 1.0");
  EXPECT_EQ(result.version_after, "Quillmont demo app 1.1");
  const Result<HistoryReading> read = history.Read();
  ASSERT_TRUE(read);
  ASSERT_EQ(read->records.size(), 1u);
  const HistoryRecord& record = read->records[0];
  EXPECT_EQ(record.program, "quillmont");
  EXPECT_EQ(record.adapter, "simulated adapter 0");
  EXPECT_EQ(record.model, "Quillmont Sim Spot");
  EXPECT_EQ(record.sha256, *Sha256FileHex(firmware));
  EXPECT_TRUE(record.simulated);

  // A file that cannot be read is told as the window tells it, and nothing is recorded.
  through.port.AnswerFileDialogWith((folder.path() / "none.srec2").string());
  through.window->OnUpdateButton();
  EXPECT_EQ(through.port.message_boxes().back(), "Unable to read file.");
  EXPECT_FALSE(through.window->job.running());
  EXPECT_EQ(history.Read()->records.size(), 1u);
}

}  // namespace
}  // namespace quillmont
