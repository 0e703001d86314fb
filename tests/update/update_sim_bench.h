// SPDX-License-Identifier: Apache-2.0
// A window on the simulated line with one fixture, for updates that run through the fixture's
// real bootloader and flash.
#pragma once

#include <string>

#include "sim/simulated_line.h"
#include "update_bench.h"

namespace quillmont::testing {

struct SimLineParts {
  VirtualClock clock;
  SimulatedLine line{clock};
};

class SimUpdateBench : public SimLineParts, public WindowHarness {
 public:
  explicit SimUpdateBench(const FixtureConfig& config = {})
      : WindowHarness(line, clock), in_bootloader_(config.start_in_bootloader) {
    line.AddAdapter();
    line.AddFixture(0, config);
  }
  SimulatedFixture& Fixture() { return line.fixture(0); }

  // Starts the window and waits until it has read the device's data; a fixture that starts in
  // its bootloader tells no model, so there the discovery is waited for.
  void Connect() {
    Init();
    ASSERT_TRUE(pacer.RunUntil(
        [&] {
          return in_bootloader_ ? window.device_found != 0 : !port.Text(kVersionLabel).empty();
        },
        20));
  }
  // Picks `path` and clicks Update Firmware, then runs ticks until the procedure is idle again,
  // at most `max_ticks`. Gives the log of the run.
  std::string Update(const std::string& path, int64_t max_ticks) {
    const size_t mark = window.log_text.size();
    SayYesToAnUnsignedFile(port, path);
    port.file_dialog_answers.push_back(path);
    window.OnUpdateButton();
    finished = pacer.RunUntil([&] { return window.job.state() == UpdateState::kIdle; }, max_ticks);
    return window.log_text.substr(mark);
  }
  bool FlashHolds(const std::string& path) {
    const LoadedFirmware file = LoadFirmware(path);
    uint32_t mismatch = 0;
    const bool holds = FlashHoldsImage(Fixture().flash(), *file.raw, &mismatch);
    if (!holds) {
      ADD_FAILURE() << "the flash differs from the image at 0x" << Hex(mismatch);
    }
    return holds;
  }

  bool finished = false;

 private:
  bool in_bootloader_ = false;
};

}  // namespace quillmont::testing
