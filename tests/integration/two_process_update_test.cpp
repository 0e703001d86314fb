// SPDX-License-Identifier: Apache-2.0
// Two real programs on a real pseudo-terminal: quillmont-sim serves the fixture, quillmont-cli
// updates it through the serial backend, and the fixture's flash, dumped by quillmont-sim when it
// ends, must hold the firmware file. Everything runs on the real clock; every program has a
// deadline.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "child_process.h"
#include "sim/nor_flash.h"
#include "update/srec2.h"

namespace quillmont::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kStartMs = 5000;    // until quillmont-sim names its pseudo-terminal
constexpr int kFlashMs = 30000;   // a whole update over the pseudo-terminal takes a few seconds
constexpr int kFinishMs = 10000;  // quillmont-sim's end after the new application started

const std::string kImage = std::string(QUILLMONT_SOURCE_DIR) + "/examples/fixture-app-1.1.srec2";

class TwoProcessUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quillmont-pty-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Starts quillmont-sim and reads the pseudo-terminal's path off its first line.
  std::unique_ptr<ChildProcess> StartSim(
      std::vector<std::string> args, std::string& pty_path,
      const std::string& fixtures = "fixture 4F 4C 12 34 56 78") {
    auto sim = std::make_unique<ChildProcess>(QUILLMONT_SIM_PROGRAM, args, Path("sim.err"));
    std::string line;
    EXPECT_TRUE(sim->ReadLine(line, kStartMs)) << "quillmont-sim said nothing";
    std::smatch match;
    const std::regex first_line("quillmont-sim: " + fixtures + ".* on (/dev/pts/[0-9]+)");
    EXPECT_TRUE(std::regex_match(line, match, first_line)) << line;
    pty_path = match.size() == 2 ? match[1].str() : "";
    return sim;
  }

  // Runs quillmont-cli to its end; its exit status, and its standard output in `out`.
  int RunCli(const std::vector<std::string>& args, std::string& out) {
    ChildProcess cli(QUILLMONT_CLI_PROGRAM, args, Path("cli.err"));
    out = cli.ReadRest(kFlashMs);
    const int status = cli.Wait(1000);
    if (status != 0) {
      std::ifstream err(Path("cli.err"));
      ADD_FAILURE() << "quillmont-cli " << status << ":\n"
                    << out << std::string(std::istreambuf_iterator<char>(err), {});
    }
    return status;
  }

  // The dumped flash holds the firmware file: every loaded byte that differs from the fill
  // pattern, the signature among them.
  void ExpectFlashHoldsImage(const std::string& dump_path) {
    std::ifstream in(dump_path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(bytes.size(), kFlashSize);
    NorFlash flash;
    flash.Load(0, reinterpret_cast<const uint8_t*>(bytes.data()), kFlashSize);
    FirmwareImage image;
    ASSERT_TRUE(LoadSrec2File(kImage, image));
    uint32_t mismatch = 0;
    EXPECT_TRUE(FlashHoldsImage(flash, image, &mismatch)) << "first difference at " << mismatch;
  }

  fs::path dir_;
};

TEST_F(TwoProcessUpdate, CliFlashesTheSimulatedFixtureThroughItsPseudoTerminal) {
  std::string pty;
  auto sim =
      StartSim({"--exit-after-start", "--dump", Path("flash.bin"), "--link", Path("line")}, pty);
  ASSERT_FALSE(pty.empty());
  EXPECT_EQ(fs::read_symlink(Path("line")), fs::path(pty));

  // First a look at what runs on the fixture, then the update; one program after the other.
  std::string out;
  ASSERT_EQ(RunCli({"--port", Path("line"), "info"}, out), 0);
  EXPECT_NE(out.find("UID:               4F 4C 12 34 56 78\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Model:             Quillmont Sim Spot\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Software version:  Quillmont demo app 1.0\n"), std::string::npos) << out;

  ASSERT_EQ(RunCli({"--port", Path("line"), "flash", kImage}, out), 0);
  EXPECT_NE(out.find("\nResult:   success: "), std::string::npos) << out;

  EXPECT_EQ(sim->Wait(kFinishMs), 0);
  const std::string said = sim->ReadRest(1000);
  EXPECT_NE(said.find("4F 4C 12 34 56 78 started its application \"Quillmont demo app 1.1\""),
            std::string::npos)
      << said;
  EXPECT_NE(said.find("flash of 4F 4C 12 34 56 78 written to " + Path("flash.bin")),
            std::string::npos)
      << said;
  EXPECT_FALSE(fs::is_symlink(Path("line"))) << "the link goes with quillmont-sim";
  ExpectFlashHoldsImage(Path("flash.bin"));
}

TEST_F(TwoProcessUpdate, UpdateGetsThroughLostCorruptedRepliesAndNoise) {
  std::string pty;
  auto sim = StartSim({"--exit-after-start", "--dump", Path("flash.bin"), "--faults",
                       "seed=3,drop=4,corrupt=9,noise@800ms:16"},
                      pty);
  ASSERT_FALSE(pty.empty());
  std::string out;
  ASSERT_EQ(RunCli({"--port", pty, "flash", kImage}, out), 0);
  EXPECT_EQ(sim->Wait(kFinishMs), 0);
  ExpectFlashHoldsImage(Path("flash.bin"));
}

// A CH340 stick hears itself: its own request comes back ahead of each answer, and it holds the
// line a moment after sending. Discovery reads past its echo, and the update goes through.
TEST_F(TwoProcessUpdate, ThroughAnAdapterThatHearsItselfTheFixtureIsFoundAndUpdated) {
  std::string pty;
  auto sim =
      StartSim({"--adapter", "ch340", "--exit-after-start", "--dump", Path("flash.bin")}, pty);
  ASSERT_FALSE(pty.empty());
  std::string out;
  ASSERT_EQ(RunCli({"--port", pty, "discover"}, out), 0);
  EXPECT_EQ(out, "4F 4C 12 34 56 78\n");
  ASSERT_EQ(RunCli({"--port", pty, "flash", kImage}, out), 0);
  EXPECT_EQ(sim->Wait(kFinishMs), 0);
  ExpectFlashHoldsImage(Path("flash.bin"));
}

TEST_F(TwoProcessUpdate, FullDiscoveryFindsBothFixturesThroughTheirCollidingAnswers) {
  std::string pty;
  auto sim = StartSim({"--fixtures", "2", "--uid", "4F4C:000000FF"}, pty, "fixtures");
  ASSERT_FALSE(pty.empty());
  std::string out;
  EXPECT_EQ(RunCli({"--port", pty, "discover", "--all"}, out), 0);
  EXPECT_EQ(out, "4F 4C 00 00 00 FF\n4F 4C 00 00 01 00\n");
  sim->Signal(SIGTERM);
  EXPECT_EQ(sim->Wait(kFinishMs), 0);
}

// A rig of three on one line: each fixture updated and started in one run, the others left in
// their application meanwhile. quillmont-sim writes the first fixture's flash to PATH, the
// others' to PATH.2 and PATH.3.
TEST_F(TwoProcessUpdate, AllFixturesOnTheLineAreUpdatedInOneRun) {
  std::string pty;
  auto sim = StartSim({"--fixtures", "3", "--dump", Path("flash.bin")}, pty,
                      "fixtures 4F 4C 12 34 56 78, 4F 4C 12 34 56 79, 4F 4C 12 34 56 7A");
  ASSERT_FALSE(pty.empty());
  std::string out;
  ASSERT_EQ(RunCli({"--port", pty, "flash", "--all-fixtures", kImage}, out), 0);
  sim->Signal(SIGTERM);
  EXPECT_EQ(sim->Wait(kFinishMs), 0);
  const std::string said = sim->ReadRest(1000);
  for (const char* uid : {"78", "79", "7A"}) {
    EXPECT_NE(said.find(std::string("4F 4C 12 34 56 ") + uid +
                        " started its application \"Quillmont demo app 1.1\""),
              std::string::npos)
        << said;
  }
  ExpectFlashHoldsImage(Path("flash.bin"));
  ExpectFlashHoldsImage(Path("flash.bin.2"));
  ExpectFlashHoldsImage(Path("flash.bin.3"));
}

TEST_F(TwoProcessUpdate, ThroughAWidgetDiscoveryFindsThreeFixturesAndFlashUpdatesOne) {
  std::string pty;
  auto sim =
      StartSim({"--widget", "--fixtures", "3", "--exit-after-start", "--dump", Path("flash.bin")},
               pty, "fixtures 4F 4C 12 34 56 78, 4F 4C 12 34 56 79, 4F 4C 12 34 56 7A");
  ASSERT_FALSE(pty.empty());
  std::string out;
  ASSERT_EQ(RunCli({"--driver", "usbpro", "--port", pty, "list"}, out), 0);
  EXPECT_EQ(out, "0  " + pty + ": DMX USB Pro-style widget, serial 12345678, firmware 1.44\n");
  ASSERT_EQ(RunCli({"--driver", "usbpro", "--port", pty, "discover", "--all"}, out), 0);
  EXPECT_EQ(out, "4F 4C 12 34 56 78\n4F 4C 12 34 56 79\n4F 4C 12 34 56 7A\n");
  ASSERT_EQ(
      RunCli({"--driver", "usbpro", "--port", pty, "--uid", "4F 4C 12 34 56 79", "flash", kImage},
             out),
      0);
  EXPECT_NE(out.find("\nResult:   success: "), std::string::npos) << out;
  EXPECT_EQ(sim->Wait(kFinishMs), 0);
  const std::string said = sim->ReadRest(1000);
  EXPECT_NE(said.find("4F 4C 12 34 56 79 started its application \"Quillmont demo app 1.1\""),
            std::string::npos)
      << said;
  ExpectFlashHoldsImage(Path("flash.bin.2"));
}

TEST_F(TwoProcessUpdate, SigtermEndsTheSimulatorWithItsFlashDumped) {
  std::string pty;
  auto sim = StartSim({"--dump", Path("flash.bin"), "--label", "Before the update"}, pty);
  ASSERT_FALSE(pty.empty());
  sim->Signal(SIGTERM);
  EXPECT_EQ(sim->Wait(kFinishMs), 0);
  std::ifstream in(Path("flash.bin"), std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  ASSERT_EQ(bytes.size(), kFlashSize);
  // The application it started with: its signature, and its label 0x10 bytes after.
  EXPECT_EQ(std::string(bytes.data() + 0x4100, 4), "GKJA");
  EXPECT_EQ(std::string(bytes.data() + 0x4110), "Before the update");
}

}  // namespace
}  // namespace quillmont::testing
