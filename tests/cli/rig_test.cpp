// SPDX-License-Identifier: Apache-2.0
// flash --all-fixtures: a rig on one line, updated fixture after fixture by quillmont-cli run as
// a program on the simulated line (the adapter model on, its echo heard), with the flash of every
// simulated fixture dumped at the end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "../update/srec2_test_files.h"
#include "run_cli.h"
#include "sim/nor_flash.h"
#include "update/srec2.h"

namespace quillmont::testing {
namespace {

using nlohmann::json;

// Three fixtures: 4F4C:12345678, 4F4C:1334580B and 4F4C:1434599E, their UIDs spread out.
const std::string kRig = "--simulate --sim-fast --sim-faults echo --json ";
const std::string kFirst = "4F 4C 12 34 56 78";
const std::string kSecond = "4F 4C 13 34 58 0B";
const std::string kThird = "4F 4C 14 34 59 9E";

class RigTest : public ::testing::Test {
 protected:
  CliRun Run(const std::string& arguments, int fixtures = 3) {
    return RunCliProgram(kRig + "--sim-fixtures " + std::to_string(fixtures) + " --sim-dump " +
                             Quote(Dump()) + " " + arguments + " " +
                             Quote(ExamplePath("fixture-app-1.1.srec2")),
                         (folder.path() / "err.txt").string());
  }
  std::string Dump() const { return (folder.path() / "flash.bin").string(); }

  // The dumped flash of fixture `n` (its place on the line), loaded into a NorFlash.
  NorFlash DumpedFlash(int n) const {
    std::ifstream in(Dump() + "." + std::to_string(n), std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    NorFlash flash;
    EXPECT_EQ(bytes.size(), kFlashSize) << "fixture " << n;
    flash.Load(0, reinterpret_cast<const uint8_t*>(bytes.data()),
               std::min<size_t>(bytes.size(), kFlashSize));
    return flash;
  }
  bool HoldsImage(int n) const {
    FirmwareImage image;
    EXPECT_TRUE(LoadSrec2File(ExamplePath("fixture-app-1.1.srec2"), image));
    return FlashHoldsImage(DumpedFlash(n), image, nullptr);
  }
  // The label of the application a fixture's flash holds, after its signature at 0x4100.
  std::string AppLabel(int n) const {
    const NorFlash flash = DumpedFlash(n);
    std::string label;
    for (uint32_t at = 0x4110; at < 0x4130 && flash.at(at) != 0 && flash.at(at) != 0xFF; ++at) {
      label += static_cast<char>(flash.at(at));
    }
    return label;
  }

  TestFolder folder;
};

// One fixture left in its bootloader by an update cut short, one whose bootloader refuses the
// start: the first is updated first, the refusal does not stop the others, and the run exits
// with the refusal's status.
TEST_F(RigTest, RigOfThreeWithOneFailingFixture) {
  const CliRun run =
      Run("--sim-fixture 1:refuse-start --sim-fixture 2:bootloader flash --all-fixtures");
  ASSERT_EQ(run.status, 7) << run.err << run.out;
  const json doc = json::parse(run.out);
  EXPECT_EQ(doc["exit_code"], 7);
  const json& f = doc["fixtures"];
  ASSERT_EQ(f.size(), 3u) << doc.dump(2);
  EXPECT_EQ(f[0]["uid"], kThird);
  EXPECT_TRUE(f[0]["in_bootloader"]);
  EXPECT_EQ(f[0]["software_version_before"], "Quillmont Sim Bootloader 1.0");
  EXPECT_EQ(f[1]["uid"], kFirst);
  EXPECT_EQ(f[2]["uid"], kSecond);
  for (int i : {0, 1}) {
    EXPECT_EQ(f[i]["result"], "success") << f[i].dump(2);
    EXPECT_EQ(f[i]["software_version_after"], "Quillmont demo app 1.1");
    EXPECT_TRUE(f[i]["flash_checked"]);
  }
  EXPECT_EQ(f[2]["result"], "start refused");
  EXPECT_EQ(f[2]["exit_code"], 7);
  EXPECT_EQ(f[2]["software_version_before"], "Quillmont demo app 1.0");
  EXPECT_EQ(f[2]["software_version_after"], "");
  EXPECT_NE(run.err.find(kSecond + ": The bootloader refused"), std::string::npos) << run.err;
  // Every flash holds the image; the one whose start was refused did not run it.
  for (int n = 0; n < 3; ++n) {
    EXPECT_TRUE(HoldsImage(n)) << "fixture " << n;
  }
}

// --uid (repeated), --model and --skip-version choose the fixtures; --dry-run tells why and sends
// nothing to a bootloader; a selection that names what is not there is refused before any.
TEST_F(RigTest, SelectionOptions) {
  const std::string models = "--sim-fixture 1:model=0x0200 --sim-fixture 2:label=Tour ";
  CliRun run = Run(models + "flash --all-fixtures --dry-run --model 256 --skip-version Tour");
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  json f = json::parse(run.out)["fixtures"];
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0]["uid"], kFirst);
  EXPECT_EQ(f[0]["result"], "would update");
  EXPECT_EQ(f[0]["model_id"], 0x100);
  EXPECT_EQ(f[1]["reason"], "model 0x0200, not 0x0100");
  EXPECT_EQ(f[2]["reason"], "already runs \"Tour\"");
  for (int n = 0; n < 3; ++n) {
    EXPECT_EQ(AppLabel(n), n == 2 ? "Tour" : "Quillmont demo app 1.0") << "fixture " << n;
  }

  run =
      Run(models + "--uid " + Quote(kThird) + " --uid " + Quote(kSecond) + " flash --all-fixtures");
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  f = json::parse(run.out)["fixtures"];
  EXPECT_EQ(f[0]["uid"], kSecond);
  EXPECT_EQ(f[1]["uid"], kThird);
  EXPECT_EQ(f[2]["reason"], "not named by --uid");
  EXPECT_EQ(AppLabel(0), "Quillmont demo app 1.0");
  EXPECT_TRUE(HoldsImage(1));
  EXPECT_TRUE(HoldsImage(2));

  // Refused before any bootloader hears a word: each application stays as it was.
  struct Refusal {
    std::string arguments;
    int status;
    int fixtures = 3;
  };
  for (const Refusal& bad : {
           Refusal{"--uid " + Quote("4F 4C 00 00 00 01") + " flash --all-fixtures", 10},
           Refusal{models + "flash --all-fixtures --model 0x0300", 11},
           Refusal{"flash --all-fixtures", 5, 0},
           Refusal{"flash --all-fixtures --model 0x10000", 2},
           Refusal{"flash --dry-run", 2},
           Refusal{"--uid " + Quote(kFirst) + " --uid " + Quote(kSecond) + " flash", 2},
           Refusal{"--sim-fixture 3:bootloader flash --all-fixtures", 2},
       }) {
    run = Run(bad.arguments, bad.fixtures);
    EXPECT_EQ(run.status, bad.status) << bad.arguments << '\n' << run.err;
    EXPECT_EQ(json::parse(run.out)["exit_code"], bad.status) << bad.arguments;
    EXPECT_FALSE(run.err.empty()) << bad.arguments;
    if (bad.status != 2 && bad.status != 5) {
      EXPECT_EQ(AppLabel(0), "Quillmont demo app 1.0") << bad.arguments;
      EXPECT_EQ(AppLabel(1), "Quillmont demo app 1.0") << bad.arguments;
    }
  }
}

// --expect: a survey that finds another number of fixtures stops before any bootloader hears a
// word; the right number updates them all, bootloaders that tell only their version keeping it
// as the version before. discover --all judges its count the same way.
TEST_F(RigTest, ExpectedCountAndBootloadersThatTellOnlyTheirVersion) {
  CliRun run = Run("flash --all-fixtures --expect 3", 2);
  ASSERT_EQ(run.status, 12) << run.err << run.out;
  json doc = json::parse(run.out);
  EXPECT_EQ(doc["result"], "count mismatch");
  EXPECT_NE(run.err.find("found 2 fixtures on the line, not the 3 expected"), std::string::npos)
      << run.err;
  EXPECT_EQ(AppLabel(0), "Quillmont demo app 1.0");
  EXPECT_EQ(AppLabel(1), "Quillmont demo app 1.0");

  run = Run("--sim-fixture 0:bootloader --sim-fixture 1:bootloader flash --all-fixtures --expect 2",
            2);
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  doc = json::parse(run.out);
  EXPECT_EQ(doc["found"], 2);
  ASSERT_EQ(doc["fixtures"].size(), 2u);
  for (int n = 0; n < 2; ++n) {
    const json& f = doc["fixtures"][n];
    EXPECT_EQ(f["result"], "success") << f.dump(2);
    EXPECT_TRUE(f["in_bootloader"]);
    EXPECT_EQ(f["software_version_before"], "Quillmont Sim Bootloader 1.0") << f.dump(2);
    EXPECT_TRUE(HoldsImage(n));
  }

  const std::string discover = kRig + "--sim-fixtures 2 discover --all --expect ";
  const std::string err = (folder.path() / "err.txt").string();
  run = RunCliProgram(discover + "3", err);
  EXPECT_EQ(run.status, 12) << run.err;
  doc = json::parse(run.out);
  EXPECT_EQ(doc["result"], "count mismatch");
  EXPECT_EQ(doc["devices"].size(), 2u);
  EXPECT_EQ(RunCliProgram(discover + "2", err).status, 0);

  // A survey that found nobody because the adapter cannot send a break says so.
  run = RunCliProgram(
      "--simulate --sim-fast --json --sim-faults refuse-break --sim-fixtures 2 "
      "flash --all-fixtures " +
          Quote(ExamplePath("fixture-app-1.1.srec2")),
      err);
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.err.find("the adapter cannot send a break"), std::string::npos) << run.err;
}

// With --all-adapters every line is surveyed and updated at once, the second one behind a slow
// latency timer, and a --uid is looked for on every line.
TEST_F(RigTest, EveryAdaptersRigAtOnce) {
  const std::string lines = "--sim-adapters 2 --sim-faults 1:latency=16ms,echo ";
  CliRun run = Run(lines + "--sim-fixture 1:1:bootloader flash --all-fixtures --all-adapters", 2);
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  json f = json::parse(run.out)["fixtures"];
  ASSERT_EQ(f.size(), 4u) << f.dump(2);
  EXPECT_EQ(f[0]["adapter"], 0);
  EXPECT_EQ(f[1]["adapter"], 0);
  EXPECT_EQ(f[2]["adapter"], 1);
  EXPECT_TRUE(f[2]["in_bootloader"]);
  EXPECT_EQ(f[2]["uid"], "4F 4C 13 35 58 0B");
  for (const json& fixture : f) {
    EXPECT_EQ(fixture["result"], "success") << fixture.dump(2);
  }
  for (const char* n : {"0.0", "0.1", "1.0", "1.1"}) {
    EXPECT_TRUE(std::filesystem::exists(Dump() + "." + n)) << n;
  }

  run = Run(lines + "--uid " + Quote("4F 4C 12 35 56 78") + " flash --all-fixtures --all-adapters",
            2);
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  f = json::parse(run.out)["fixtures"];
  ASSERT_EQ(f.size(), 4u);
  EXPECT_EQ(f[2]["uid"], "4F 4C 12 35 56 78");
  EXPECT_EQ(f[2]["result"], "success");
  for (int i : {0, 1, 3}) {
    EXPECT_EQ(f[i]["result"], "skipped") << f[i].dump(2);
  }
}

}  // namespace
}  // namespace quillmont::testing
