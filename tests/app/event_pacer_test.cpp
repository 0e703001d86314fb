// SPDX-License-Identifier: Apache-2.0
// The event pacing against the simulated line and fixture: replies are taken as they come, yet
// the update sends what the 10 ms tick alone sends, and its waits still last their time.
#include "app/event_pacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/forwarding_driver.h"
#include "sim/nor_flash.h"
#include "sim/simulated_line.h"
#include "support/window_harness.h"
#include "update/srec2.h"

namespace quillmont {
namespace {

using testing::WindowHarness;

const std::string kFirmware = std::string(QUILLMONT_SOURCE_DIR) + "/examples/fixture-app-1.1.srec2";

// Every frame the window writes, with the time it was handed to the adapter.
class WriteRecorder final : public ForwardingDriver {
 public:
  WriteRecorder(D2xxDriver& inner, Clock& clock) : inner_(inner), clock_(clock) {}

  struct Write {
    uint64_t micros;
    std::vector<uint8_t> bytes;
  };
  std::vector<Write> writes;
  // Called with each frame before the adapter takes it.
  std::function<void(const std::vector<uint8_t>&)> before_write;

  FT_STATUS FT_Write(FT_HANDLE handle, const void* bytes, uint32_t count,
                     uint32_t* written) override {
    const auto* first = static_cast<const uint8_t*>(bytes);
    writes.push_back({clock_.NowMicros(), std::vector<uint8_t>(first, first + count)});
    if (before_write) {
      before_write(writes.back().bytes);
    }
    return inner_.FT_Write(handle, bytes, count, written);
  }

 private:
  D2xxDriver& inner() override { return inner_; }
  D2xxDriver& inner_;
  Clock& clock_;
};

bool IsEraseRequest(const std::vector<uint8_t>& frame) {
  return frame.size() > 25 && frame[24] == 0x55 && frame[25] == 0xA1;
}

struct SimParts {
  VirtualClock clock;
  SimulatedLine line{clock};
  WriteRecorder recorder{line, clock};
};

class PacedUpdate : public SimParts, public WindowHarness {
 public:
  explicit PacedUpdate(Pacing pacing) : WindowHarness(recorder, clock) {
    line.AddFixture(line.AddAdapter());
    if (pacing == Pacing::kEvent) {
      event_pacer = std::make_unique<EventPacer>(window, clock);
    }
  }
  WindowPacer& Pacer() {
    return event_pacer ? static_cast<WindowPacer&>(*event_pacer) : static_cast<WindowPacer&>(pacer);
  }
  // Finds the fixture, lets its texts come in and starts the update of kFirmware.
  void Begin() {
    Init();
    ASSERT_TRUE(Pacer().RunUntil([&] { return window.device_found != 0; }, 50));
    Pacer().RunTicks(20);
    ASSERT_TRUE(LoadSrec2File(kFirmware, *loaded));
    first_update_write = recorder.writes.size();
    started_micros = clock.NowMicros();
    ASSERT_TRUE(window.StartUpdate(kFirmware, *loaded));
  }
  std::vector<std::vector<uint8_t>> UpdateWrites() const {
    std::vector<std::vector<uint8_t>> frames;
    for (size_t i = first_update_write; i < recorder.writes.size(); ++i) {
      frames.push_back(recorder.writes[i].bytes);
    }
    return frames;
  }

  std::unique_ptr<EventPacer> event_pacer;
  std::unique_ptr<FirmwareImage> loaded = std::make_unique<FirmwareImage>();
  size_t first_update_write = 0;
  uint64_t started_micros = 0;
};

TEST(EventPacerTest, AnUpdateSendsWhatTheTickSendsSoonerAndLeavesTheImageInFlash) {
  PacedUpdate tick(Pacing::kTick);
  PacedUpdate event(Pacing::kEvent);
  uint64_t took[2] = {};
  int run = 0;
  for (PacedUpdate* u : {&tick, &event}) {
    u->Begin();
    ASSERT_TRUE(u->Pacer().RunUntil([&] { return !u->window.job.running(); }, 20000));
    took[run++] = u->clock.NowMicros() - u->started_micros;
    EXPECT_NE(u->window.log_text.find("VERY WELL DONE"), std::string::npos);
    EXPECT_TRUE(FlashHoldsImage(u->line.fixture(0).flash(), *u->loaded));
  }
  const auto tick_writes = tick.UpdateWrites();
  EXPECT_GT(tick_writes.size(), 10u);
  EXPECT_TRUE(tick_writes == event.UpdateWrites()) << "the same requests, bytes and order";
  EXPECT_LT(took[1], took[0]) << "event " << took[1] << " us, tick " << took[0] << " us";
}

TEST(EventPacerTest, AnUnansweredEraseIsSentAgainOnlyAfterItsThreeHundredTicks) {
  PacedUpdate u(Pacing::kEvent);
  u.Begin();
  const auto erases = [&u] {
    std::vector<const WriteRecorder::Write*> found;
    for (const WriteRecorder::Write& w : u.recorder.writes) {
      if (IsEraseRequest(w.bytes)) {
        found.push_back(&w);
      }
    }
    return found;
  };
  // The first erase's answer is lost; the fixture numbers its replies when a request is through.
  bool dropped = false;
  u.recorder.before_write = [&u, &dropped](const std::vector<uint8_t>& frame) {
    if (IsEraseRequest(frame) && !dropped) {
      FaultPlan plan;
      plan.drop_replies.push_back(u.line.replies(0) + 1);
      u.line.InstallFaults(0, plan);
      dropped = true;
    }
  };
  ASSERT_TRUE(u.Pacer().RunUntil([&] { return !erases().empty(); }, 2000));
  ASSERT_TRUE(u.Pacer().RunUntil([&] { return erases().size() >= 2; }, 400));
  const auto found = erases();
  // The same block asked for again, no sooner than 300 ticks and at the tick that ends the wait.
  EXPECT_TRUE(std::equal(found[0]->bytes.begin() + 26, found[0]->bytes.begin() + 30,
                         found[1]->bytes.begin() + 26));
  const uint64_t apart = found[1]->micros - found[0]->micros;
  EXPECT_GE(apart, 300u * 10000u);
  EXPECT_LE(apart, 302u * 10000u);
}

}  // namespace
}  // namespace quillmont
