// SPDX-License-Identifier: Apache-2.0
// The serving loop on the real clock: how a run ends. Every wait is bounded; a stop descriptor
// ends a run that would otherwise hang.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/clock.h"
#include "pty_bench.h"
#include "sim/pty/fixture_server.h"

namespace quillmont::testing {
namespace {

// A fixture waiting in its bootloader over a valid application, so that SET IDENTIFY_DEVICE 1
// starts it.
struct ServeBench {
  ServeBench() {
    auto opened = sim::PseudoTerminal::Open();
    EXPECT_TRUE(opened) << opened.error().message;
    pty = std::move(opened).value_or(nullptr);
    FixtureConfig config;
    config.start_in_bootloader = true;
    server = std::make_unique<sim::FixtureServer>(*pty, clock, std::vector{config}, FaultPlan{});
    server->fixture(0).InstallApplication("Quillmont demo app 1.0");
    server->set_event_sink([this](const std::string& line) { events.push_back(line); });
    EXPECT_EQ(pipe(stop), 0);
  }
  ~ServeBench() {
    close(stop[0]);
    close(stop[1]);
  }
  // Ends the run from outside (as SIGTERM does) if it is still going after `ms`.
  class Watchdog {
   public:
    Watchdog(int stop_fd, int ms)
        : thread_([this, stop_fd, ms] {
            std::unique_lock lock(mutex_);
            if (!wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return done_; })) {
              ADD_FAILURE() << "the run had to be stopped";
              EXPECT_EQ(write(stop_fd, "x", 1), 1);
            }
          }) {}
    ~Watchdog() {
      {
        std::lock_guard lock(mutex_);
        done_ = true;
      }
      wake_.notify_all();
      thread_.join();
    }

   private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
  };

  SystemClock clock;
  std::unique_ptr<sim::PseudoTerminal> pty;
  std::unique_ptr<sim::FixtureServer> server;
  std::vector<std::string> events;
  int stop[2] = {-1, -1};
};

const std::vector<uint8_t> kStartApplication = RequestFrame(SET_COMMAND, IDENTIFY_DEVICE, {0x01});

TEST(PtyServe, EndsWhenTheNewApplicationHasStartedAndTheHostLetGo) {
  ServeBench bench;
  std::vector<uint8_t> ack;
  std::thread host([&] {
    PtyHost line(bench.pty->path());
    line.Send(kStartApplication);
    ack = line.Receive(27, 1000);  // the break's NUL, then the acknowledgement
  });                              // the host closes the line once it has the acknowledgement
  std::optional<ServeBench::Watchdog> watchdog(std::in_place, bench.stop[1], 2000);
  sim::ServeOptions options;
  options.exit_after_start = true;
  options.quiet_ms = 5000;  // only the host letting go can end this run in time
  const auto began = std::chrono::steady_clock::now();
  const sim::ServeEnd end = bench.server->Serve(bench.stop[0], options);
  const auto took = std::chrono::steady_clock::now() - began;
  host.join();
  watchdog.reset();

  EXPECT_EQ(end, sim::ServeEnd::kApplicationStarted);
  EXPECT_LT(took, std::chrono::milliseconds(1500));
  ASSERT_EQ(ack.size(), 27u);
  EXPECT_EQ(ack[0], 0x00);
  EXPECT_EQ(ack[1 + kOffsetCommandClass], SET_COMMAND_RESPONSE);
  EXPECT_EQ(bench.server->fixture(0).stage(), FixtureStage::kApplication);
  // The host may leave before the 50 ms reset is over; the run ends either way.
  EXPECT_NE(std::find(bench.events.begin(), bench.events.end(), "the host let go of the line"),
            bench.events.end());
  EXPECT_NE(std::find(bench.events.begin(), bench.events.end(),
                      "4F 4C 12 34 56 78 started its application \"Quillmont demo app 1.0\""),
            bench.events.end());
}

TEST(PtyServe, EndsAfterAQuietSpellWhileTheHostStaysOpen) {
  ServeBench bench;
  PtyHost line(bench.pty->path());
  line.Send(kStartApplication);
  std::thread reader([&] { EXPECT_EQ(line.Receive(27, 1000).size(), 27u); });
  std::optional<ServeBench::Watchdog> watchdog(std::in_place, bench.stop[1], 2000);
  sim::ServeOptions options;
  options.exit_after_start = true;
  options.quiet_ms = 50;
  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(bench.server->Serve(bench.stop[0], options), sim::ServeEnd::kApplicationStarted);
  const auto took = std::chrono::steady_clock::now() - began;
  reader.join();
  watchdog.reset();
  // 50 ms reset into the application, then 50 ms quiet.
  EXPECT_GE(took, std::chrono::milliseconds(100));
  EXPECT_LT(took, std::chrono::milliseconds(1000));
  EXPECT_EQ(bench.pty->hosts(), 1);
}

TEST(PtyServe, AnUnreadAcknowledgementHoldsTheEndBackUntilTheLimit) {
  ServeBench bench;
  PtyHost line(bench.pty->path());
  line.Send(kStartApplication);
  std::optional<ServeBench::Watchdog> watchdog(std::in_place, bench.stop[1], 2000);
  sim::ServeOptions options;
  options.exit_after_start = true;
  options.quiet_ms = 50;
  options.start_limit_ms = 400;
  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(bench.server->Serve(bench.stop[0], options), sim::ServeEnd::kApplicationStarted);
  const auto took = std::chrono::steady_clock::now() - began;
  watchdog.reset();
  EXPECT_GE(took, std::chrono::milliseconds(450));
  EXPECT_LT(took, std::chrono::milliseconds(1500));
  EXPECT_EQ(line.Receive(26).size(), 26u) << "still there for the host";
}

TEST(PtyServe, StopDescriptorEndsTheRunEvenWithARequestWaiting) {
  ServeBench bench;
  PtyHost line(bench.pty->path());
  line.Send(kStartApplication);
  ASSERT_EQ(write(bench.stop[1], "x", 1), 1);
  std::optional<ServeBench::Watchdog> watchdog(std::in_place, bench.stop[1], 2000);
  EXPECT_EQ(bench.server->Serve(bench.stop[0], sim::ServeOptions{}), sim::ServeEnd::kStopped);
  watchdog.reset();
  EXPECT_EQ(bench.server->fixture(0).stage(), FixtureStage::kBootloader);
}

}  // namespace
}  // namespace quillmont::testing
