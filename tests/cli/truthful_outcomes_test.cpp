// SPDX-License-Identifier: Apache-2.0
// An update says "success" only when the fixture answers from its new application; every other
// end is told as what it is. Each failure kind runs end to end: the window on the simulated
// fixture, quillmont-cli as a program on it, and a real signal sent to that program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "../integration/child_process.h"
#include "../update/srec2_test_files.h"
#include "../update/update_sim_bench.h"
#include "cli/cli_app.h"
#include "cli/exit_codes.h"
#include "cli/interrupt.h"
#include "drivers/driver_choice.h"
#include "rdm/message.h"
#include "run_cli.h"
#include "station/flash_run.h"
#include "station/history.h"
#include "station/rig.h"
#include "update/image_analysis.h"

namespace quillmont::testing {
namespace {

using nlohmann::json;

const std::string kSim = "--simulate --sim-fast ";

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class TruthfulOutcomesTest : public ::testing::Test {
 protected:
  CliRun Run(const std::string& arguments) {
    return RunCliProgram(arguments, (folder.path() / "err.txt").string());
  }
  // The example application with its records in lower case (the digits too).
  std::string LowercaseExample() {
    std::string text = ReadText(ExamplePath("fixture-app-1.1.srec2"));
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // The record types stay upper case: "s2" is no record, "S2" with hex in lower case is.
    for (size_t at = 0; (at = text.find('s', at)) != std::string::npos; ++at) {
      if (at == 0 || text[at - 1] == '\n') {
        text[at] = 'S';
      }
    }
    return folder.Write("lower.srec2", text);
  }
  // The first half of the example's records, with no end record.
  std::string CutShortExample() {
    std::istringstream in(ReadText(ExamplePath("fixture-app-1.1.srec2")));
    std::string line;
    std::string text;
    for (int i = 0; i < 180 && std::getline(in, line); ++i) {
      text += line + "\n";
    }
    return folder.Write("cut.srec2", text);
  }
  TestFolder folder;
};

// The new application answers: success with both versions; a lowercase file writes what every
// S-record tool reads (the run compares the simulated flash with the image).
TEST_F(TruthfulOutcomesTest, SuccessMeansTheNewApplicationAnswered) {
  const CliRun run = Run(kSim + "--json flash " + Quote(LowercaseExample()));
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  const json doc = json::parse(run.out);
  EXPECT_EQ(doc["result"], "success");
  EXPECT_TRUE(doc["flash_checked"]);
  EXPECT_EQ(doc["software_version_before"], "Quillmont demo app 1.0");
  EXPECT_FALSE(doc["software_version_after"].get<std::string>().empty());
  EXPECT_NE(doc["software_version_after"], doc["software_version_before"]);
  const std::string log = doc["log"].dump();
  EXPECT_LT(log.find("VERY WELL DONE"), log.find("answers from its new application"));

  const CliRun plain = Run(kSim + "flash " + Quote(ExamplePath("fixture-low-start.srec2")));
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(plain.out.find("Software version: Quillmont demo app 1.0 -> "), std::string::npos);
}

// No signature: said up front, the start is acknowledged, and the fixture stays in its
// bootloader; the window then shows the bootloader's version instead of the old one.
TEST_F(TruthfulOutcomesTest, AFixtureThatStaysInItsBootloaderIsAFailure) {
  const std::string unsigned_file = folder.Write(
      "unsigned.srec2", S2Record(0x4000, {1, 2, 3, 4, 5, 6, 7, 8}) + "\nS804004000BB\n");
  const CliRun inspect = Run("inspect " + Quote(unsigned_file));
  EXPECT_EQ(inspect.status, 0);
  EXPECT_NE(inspect.out.find(kNoSignatureWarning), std::string::npos) << inspect.out;

  const CliRun run = Run(kSim + "--json flash " + Quote(unsigned_file));
  EXPECT_EQ(run.status, 8) << run.err;
  const json doc = json::parse(run.out);
  EXPECT_EQ(doc["result"], "stays in bootloader");
  EXPECT_EQ(doc["software_version_after"], "");
  const std::string told = doc["log"].dump();
  EXPECT_LT(told.find(kNoSignatureWarning), told.find("Looking for bootloader"));

  // The window: no success line, what the verification found and what to do, then the labels
  // asked again (the bootloader answers them).
  SimUpdateBench bench;
  bench.Connect();
  const std::string log = bench.Update(unsigned_file, 20000);
  ASSERT_TRUE(bench.finished);
  EXPECT_EQ(log.find("VERY WELL DONE"), std::string::npos) << log;
  EXPECT_NE(
      log.find("waiting for the new application...\r\nThe fixture is still in its bootloader"),
      std::string::npos)
      << log;
  EXPECT_EQ(bench.window.job.end().next,
            "The file has no application signature, so the bootloader does not start it. Flash a "
            "signed firmware file.");
  ASSERT_TRUE(bench.pacer.RunUntil(
      [&] { return bench.port.Text(kVersionLabel) == "Quillmont Sim Bootloader 1.0"; }, 50));

  // Info says so and exits with its own status; identify and set-address send nothing.
  const CliRun info = Run(kSim + "--sim-bootloader --json info");
  EXPECT_EQ(info.status, 8);
  EXPECT_TRUE(json::parse(info.out)["in_bootloader"]);
  const CliRun identify = Run(kSim + "--sim-bootloader --json identify on");
  EXPECT_EQ(identify.status, 8);
  EXPECT_NE(json::parse(identify.out)["detail"].get<std::string>().find("nothing was sent"),
            std::string::npos);
}

// A NACK to the start request is no start: no success line, the reason named, its own end.
TEST_F(TruthfulOutcomesTest, ANackedStartIsNotAStart) {
  FixtureConfig config;
  config.refuse_start_reason = NR_HARDWARE_FAULT;
  SimUpdateBench bench(config);
  bench.Connect();
  const std::string log = bench.Update(ExamplePath("fixture-app-1.1.srec2"), 20000);
  ASSERT_TRUE(bench.finished);
  EXPECT_EQ(log.find("VERY WELL DONE"), std::string::npos);
  EXPECT_NE(log.find("refused the request to start the new application (NR_HARDWARE_FAULT)."),
            std::string::npos)
      << log;
}

// A file cut short is refused before anything is sent, unless the operator asks for it; the
// window asks, No by default.
TEST_F(TruthfulOutcomesTest, AFileCutShortIsNotFlashedByDefault) {
  const std::string cut = CutShortExample();
  const CliRun inspect = Run("--json inspect " + Quote(cut));
  EXPECT_EQ(inspect.status, 0);
  EXPECT_FALSE(json::parse(inspect.out)["complete"]);

  const CliRun refused = Run(kSim + "--json flash " + Quote(cut));
  EXPECT_EQ(refused.status, 3);
  const json doc = json::parse(refused.out);
  EXPECT_EQ(doc["result"], "bad file");
  EXPECT_NE(doc["detail"].get<std::string>().find("--allow-unterminated"), std::string::npos);
  EXPECT_FALSE(doc.contains("log"));  // no fixture was reached

  const CliRun allowed = Run(kSim + "--json flash --allow-unterminated " + Quote(cut));
  EXPECT_NE(allowed.status, 3);
  EXPECT_FALSE(json::parse(allowed.out)["log"].empty());

  SimUpdateBench bench;
  bench.Connect();
  const std::string log = bench.Update(cut, 100);
  ASSERT_EQ(bench.port.questions.size(), 1u);
  EXPECT_NE(bench.port.questions[0].find("cut short"), std::string::npos);
  EXPECT_NE(log.find("Not flashed."), std::string::npos);
  EXPECT_FALSE(bench.window.job.running());
}

// srec_cat given no start address writes no end record: its file ends with a count record (S5)
// and is whole. A count that disagrees with the records is still refused before anything is sent.
TEST_F(TruthfulOutcomesTest, AFileAsSrecCatWritesItWithoutAStartAddressIsFlashed) {
  if (std::system("srec_cat --version >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "srec_cat (package srecord) is not installed";
  }
  const std::string written = (folder.path() / "srec-cat.srec2").string();
  const std::string command = "srec_cat " + Quote(ExamplePath("fixture-app-1.1.srec2")) +
                              " -Motorola -disable=exec-start-address -o " + Quote(written) +
                              " -Motorola -address-length=3";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string text = ReadText(written);
  ASSERT_EQ(text.find("\nS8"), std::string::npos);
  ASSERT_NE(text.find("\nS5"), std::string::npos);

  const CliRun run = Run(kSim + "--json flash " + Quote(written));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(json::parse(run.out)["flash_checked"]);

  // Without its second data record the count no longer agrees.
  const size_t second = text.find("\nS2", text.find("\nS2") + 1) + 1;
  std::string miscounted = text;
  miscounted.erase(second, text.find('\n', second) + 1 - second);
  const CliRun refused =
      Run(kSim + "--json flash " + Quote(folder.Write("miscounted.srec2", miscounted)));
  EXPECT_EQ(refused.status, 3);
  EXPECT_NE(json::parse(refused.out)["detail"].get<std::string>().find("count record"),
            std::string::npos);
}

// A signal aborts the update as the Abort button does, and the run still ends with its summary
// (or its document) and the signal's status; nothing is sent after it.
TEST_F(TruthfulOutcomesTest, ASignalMidUpdateAbortsItAsTheButtonDoes) {
  // The update's log is on standard error: read with the summary, as a terminal shows both.
  ChildProcess cli("/bin/sh",
                   {"-c", "exec \"$0\" --simulate flash \"$1\" 2>&1", QUILLMONT_CLI_PATH,
                    ExamplePath("fixture-app-1.1.srec2")},
                   (folder.path() / "child-err.txt").string());
  ASSERT_TRUE(cli.started());
  std::string line;
  bool erasing = false;
  while (!erasing && cli.ReadLine(line, 10000)) {
    erasing = line.find("Erasing") != std::string::npos;
  }
  ASSERT_TRUE(erasing);
  cli.Signal(SIGINT);
  const std::string rest = cli.ReadRest(10000);
  EXPECT_EQ(cli.Wait(10000), 130);
  EXPECT_NE(rest.find("Operation Aborted by User."), std::string::npos) << rest;
  EXPECT_NE(rest.find("Result:   aborted: Interrupted by SIGINT."), std::string::npos) << rest;
  EXPECT_EQ(rest.find("Programming"), std::string::npos);

  // In-process, on the virtual clock: SIGTERM half-way through programming.
  DriverOptions options;
  options.simulate = true;
  options.sim.fast = true;
  auto drivers = MakeDriver(*ParseDriverOptions(options));
  ASSERT_TRUE(drivers);
  const Result<FirmwareFile> file = LoadFirmwareFile(ExamplePath("fixture-app-1.1.srec2"));
  ASSERT_TRUE(file);
  struct SignalHalfWay : StationEvents {
    int64_t sent_at_signal = -1;
    void OnProgress(int /*adapter*/, const FlashProgress& p) override {
      if (sent_at_signal < 0 && p.sent > p.total / 2) {
        sent_at_signal = p.sent;
        cli::RequestInterrupt(SIGTERM);
      }
    }
  } events;
  RunSettings settings;
  settings.stop = [] { return cli::PendingInterrupt() != 0; };
  const FlashResult r = RunFlash(**drivers, *file, std::nullopt, settings, events);
  EXPECT_EQ(cli::ExitCodeOf(r), 143);
  cli::ClearInterrupt();
  EXPECT_EQ(r.verdict, FlashVerdict::kAborted);
  EXPECT_TRUE(r.stopped);
  EXPECT_EQ(r.sent, events.sent_at_signal);
  EXPECT_NE(std::find(r.log.begin(), r.log.end(), "Operation Aborted by User."), r.log.end());

  // Before any fixture is reached: still one document.
  cli::RequestInterrupt(SIGHUP);
  std::ostringstream out;
  std::ostringstream err;
  const char* argv[] = {"quillmont-cli", "--simulate", "--sim-fast", "--json", "info"};
  EXPECT_EQ(cli::RunCli(5, argv, out, err), 129);
  cli::ClearInterrupt();
  EXPECT_EQ(json::parse(out.str())["detail"], "Interrupted by SIGHUP.");
}

// A signal during a rig's survey ends it at once: nothing is flashed, the run says why and exits
// with the signal's status. A signal after the start request was sent is no abort: the fixture
// may run its new application, and the result and the history say so.
TEST_F(TruthfulOutcomesTest, ASignalDuringASurveyEndsItAndAfterTheStartItIsNoAbort) {
  ChildProcess cli(QUILLMONT_CLI_PATH,
                   {"--simulate", "--sim-fixtures", "8", "flash", "--all-fixtures",
                    ExamplePath("fixture-app-1.1.srec2")},
                   (folder.path() / "child-err.txt").string());
  ASSERT_TRUE(cli.started());
  std::string line;
  ASSERT_TRUE(cli.ReadLine(line, 10000));
  ASSERT_EQ(line, "Looking for fixtures on the line...");
  cli.Signal(SIGINT);
  const std::string rest = cli.ReadRest(10000);
  EXPECT_EQ(cli.Wait(10000), 130);
  EXPECT_NE(ReadText((folder.path() / "child-err.txt").string()).find("Interrupted by SIGINT."),
            std::string::npos);
  EXPECT_EQ(rest.find("success"), std::string::npos) << rest;
  EXPECT_EQ(rest.find("Erasing"), std::string::npos) << rest;

  // On the virtual clock: eight fixtures, the stop asked for 2 s into the survey.
  DriverOptions options;
  options.simulate = true;
  options.sim.fast = true;
  options.sim.fixtures = 8;
  auto drivers = MakeDriver(*ParseDriverOptions(options));
  ASSERT_TRUE(drivers);
  Clock& clock = (*drivers)->clock();
  const uint64_t stop_at = clock.NowMicros() + 2'000'000;
  RunSettings settings;
  settings.stop = [&clock, stop_at] { return clock.NowMicros() >= stop_at; };
  const StationLine rig_line{0, drivers->get()};
  StationEvents quiet;
  const RigPlan plan = PlanRig({&rig_line, 1}, {}, false, settings, quiet);
  EXPECT_TRUE(plan.stopped);
  EXPECT_LT(clock.NowMicros() - stop_at, 100'000u);
  for (const RigEntry& entry : plan.entries) {
    EXPECT_EQ(entry.result.verdict, FlashVerdict::kNotStarted) << entry.fixture.uid_text;
  }

  // The interrupt lands just after the start request went out.
  options.sim.fixtures = 1;
  auto one = MakeDriver(*ParseDriverOptions(options));
  ASSERT_TRUE(one);
  const Result<FirmwareFile> file = LoadFirmwareFile(ExamplePath("fixture-app-1.1.srec2"));
  ASSERT_TRUE(file);
  struct SignalAtStart : StationEvents {
    void OnLogLine(int /*adapter*/, const std::string& text, bool /*program_request*/) override {
      if (text.starts_with("Starting user-program")) {
        cli::RequestInterrupt(SIGINT);
      }
    }
  } events;
  UpdateHistory history(folder.path() / "history.jsonl");
  RunSettings at_start;
  at_start.stop = [] { return cli::PendingInterrupt() != 0; };
  at_start.history = &history;
  const FlashResult r = RunFlash(**one, *file, std::nullopt, at_start, events);
  EXPECT_EQ(cli::ExitCodeOf(r), cli::kExitStartNotConfirmed);
  cli::ClearInterrupt();
  EXPECT_EQ(r.verdict, FlashVerdict::kStartNotConfirmed) << r.detail;
  const Result<HistoryReading> read = history.Read();
  ASSERT_TRUE(read);
  ASSERT_EQ(read->records.size(), 1u);
  EXPECT_EQ(read->records[0].result, "start requested, not confirmed");
}

// Every command and outcome prints one document; numbers are decimal.
TEST_F(TruthfulOutcomesTest, OneDocumentForEveryOutcomeAndDecimalNumbers) {
  const CliRun bad_arg = Run(kSim + "--json set-address 0");
  EXPECT_EQ(bad_arg.status, 2);
  const json bad = json::parse(bad_arg.out);
  EXPECT_EQ(bad["command"], "set-address");
  EXPECT_FALSE(bad["detail"].get<std::string>().empty());

  const std::string broken = folder.Write("broken.srec2", S2Record(0x4000, {1, 2}, 1) + "\n");
  const CliRun inspect = Run("--json inspect " + Quote(broken));
  EXPECT_EQ(inspect.status, 3);
  EXPECT_FALSE(json::parse(inspect.out)["detail"].get<std::string>().empty());
  const CliRun flash = Run(kSim + "--json flash " + Quote(broken));
  EXPECT_EQ(flash.status, 3);
  EXPECT_FALSE(json::parse(flash.out)["detail"].get<std::string>().empty());

  const CliRun padded = Run(kSim + "--json set-address 017");
  EXPECT_EQ(padded.status, 0) << padded.err;
  EXPECT_EQ(json::parse(padded.out)["dmx_address"], 17);
  EXPECT_EQ(Run(kSim + "set-address 0x11").status, 2);
}

}  // namespace
}  // namespace quillmont::testing
