// SPDX-License-Identifier: Apache-2.0
// quillmont-cli's commands run as a user runs them, against the simulated fixture on a virtual
// clock (--sim-fast).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "../update/srec2_test_files.h"
#include "drivers/driver_choice.h"
#include "rdm/full_discovery.h"
#include "run_cli.h"
#include "update/firmware_image.h"
#include "update/srec2.h"

namespace quillmont::testing {
namespace {

using nlohmann::json;

const std::string kSim = "--simulate --sim-fast ";

class CliCommandsTest : public ::testing::Test {
 protected:
  CliRun Run(const std::string& arguments) {
    return RunCliProgram(arguments, (folder.path() / "err.txt").string());
  }
  TestFolder folder;
};

TEST_F(CliCommandsTest, InfoShowsWhatTheWindowShowsOfTheOneFixture) {
  const CliRun run = Run(kSim + "--sim-label " + Quote("Spot app 2.4") + " info");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "UID:               4F 4C 12 34 56 78\n"
            "Model:             Quillmont Sim Spot\n"
            "Software version:  Spot app 2.4\n"
            "DMX address:       1\n");

  const CliRun typed = Run(kSim + "--json --uid " + Quote("4f4c12345678") + " info");
  ASSERT_EQ(typed.status, 0) << typed.err;
  const json doc = json::parse(typed.out);
  EXPECT_EQ(doc["uid"], "4F 4C 12 34 56 78");
  EXPECT_EQ(doc["software_version"], "Quillmont demo app 1.0");
  EXPECT_EQ(doc["dmx_address"], 1);

  // In its bootloader the fixture tells its texts but not its address, and info says where it
  // found it with a status of its own.
  const CliRun boot = Run(kSim + "--sim-bootloader --json info");
  ASSERT_EQ(boot.status, 8) << boot.err;
  const json boot_doc = json::parse(boot.out);
  EXPECT_EQ(boot_doc["software_version"], "Quillmont Sim Bootloader 1.0");
  EXPECT_TRUE(boot_doc["dmx_address"].is_null());
}

TEST_F(CliCommandsTest, InfoWithoutAFixtureOrWithTwoExitsWithNoDevice) {
  EXPECT_EQ(Run(kSim + "--sim-fixtures 0 info").status, 5);
  const CliRun two = Run(kSim + "--sim-fixtures 2 --json info");
  EXPECT_EQ(two.status, 5);
  EXPECT_EQ(json::parse(two.out)["exit_code"], 5);
  // A fixture that was given a UID but is not there stays silent.
  EXPECT_EQ(Run(kSim + "--uid " + Quote("01 02 03 04 05 06") + " info").status, 5);
}

TEST_F(CliCommandsTest, DiscoverAllFindsExactlyTheSimulatedFixtures) {
  for (const int count : {1, 3, 20}) {
    std::vector<RdmUid> uids;
    for (int i = 0; i < count; ++i) {
      uids.push_back(SimFixtureUid(0, i));
    }
    std::sort(uids.begin(), uids.end());
    std::string expected;
    for (const RdmUid& uid : uids) {
      expected += FormatUid(uid) + "\n";
    }
    const CliRun run = Run(kSim + "--sim-fixtures " + std::to_string(count) + " discover --all");
    EXPECT_EQ(run.status, 0) << count;
    EXPECT_EQ(run.out, expected) << count;
  }
}

TEST_F(CliCommandsTest, DiscoverInJsonCountsItsWorkAndANoisyLineStillYieldsEveryFixture) {
  const CliRun run = Run(kSim + "--sim-fixtures 3 --sim-faults " +
                         Quote("seed=3,noise@5ms:20,noise@40ms:20,noise@90ms:20,drop=5") +
                         " --json discover --all");
  ASSERT_EQ(run.status, 0) << run.err;
  const json doc = json::parse(run.out);
  EXPECT_EQ(doc["devices"].size(), 3u);
  EXPECT_EQ(doc["complete"], true);
  EXPECT_GT(doc["collisions"].get<int>(), 0);
  EXPECT_EQ(Run(kSim + "--sim-fixtures 0 discover --all").status, 5);
}

TEST_F(CliCommandsTest, SetAddressAndIdentifyAreAcknowledged) {
  const CliRun set = Run(kSim + "set-address 42");
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(set.out, "4F 4C 12 34 56 78: DMX address set to 42\n");
  const CliRun identify = Run(kSim + "--json identify on");
  ASSERT_EQ(identify.status, 0) << identify.err;
  EXPECT_EQ(json::parse(identify.out)["result"], "acknowledged");
  // Every answer lost: the fixture is found, but never answers the request.
  EXPECT_EQ(
      Run(kSim + "--uid " + Quote("4F 4C 12 34 56 78") + " --sim-faults drop-rate=1 identify off")
          .status,
      5);
}

TEST_F(CliCommandsTest, FlashEndsWithVeryWellDoneAndTheFlashHoldsTheImage) {
  const std::string file = ExamplePath("fixture-app-1.1.srec2");
  const std::string dump = (folder.path() / "flash.bin").string();
  const CliRun run = Run(kSim + "--sim-dump " + Quote(dump) + " flash " + Quote(file));
  EXPECT_EQ(run.status, 0) << run.err;
  // The update's log is on standard error; standard output holds the summary alone.
  EXPECT_NE(run.err.find("\nProgramming $4100 (4 bytes)...\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("\n VERY WELL DONE !\n"), std::string::npos);
  EXPECT_EQ(run.out.rfind("\nFixture:  4F 4C 12 34 56 78\nFile:     ", 0), 0u) << run.out;
  // Success is the new application heard after the start, not the start's acknowledgement.
  EXPECT_NE(run.out.find("Result:   success: The fixture answers from its new application, and "
                         "the simulated fixture's flash holds the image.\n"),
            std::string::npos)
      << run.out;

  // The dump is the fixture's flash: every loaded byte that is not the fill pattern is in it.
  const std::string flash = ReadWholeFile(dump);
  ASSERT_EQ(flash.size(), kImageSize);
  auto image = std::make_unique<FirmwareImage>();
  ASSERT_TRUE(LoadSrec2File(file, *image));
  for (uint32_t a = 0; a < kImageSize; ++a) {
    if (image->loaded[a] != 0 && image->bytes[a] != FillPatternAt(a)) {
      ASSERT_EQ(static_cast<uint8_t>(flash[a]), image->bytes[a]) << a;
    }
  }
}

TEST_F(CliCommandsTest, InfoAndFlashWorkBehindEveryAdapterThatCanSendABreak) {
  const std::string file = ExamplePath("fixture-app-1.1.srec2");
  for (const std::string& adapter :
       {std::string("--sim-adapter ftdi-echo"), std::string("--sim-adapter ch340"),
        std::string("--sim-adapter widget --sim-faults console-dmx"),
        std::string("--sim-adapter widget-clone --widget-baud 115200")}) {
    const CliRun info = Run(kSim + adapter + " info");
    EXPECT_EQ(info.status, 0) << adapter << "\n" << info.err;
    EXPECT_NE(info.out.find("UID:               4F 4C 12 34 56 78\n"), std::string::npos);
    const CliRun flash = Run(kSim + adapter + " flash " + Quote(file));
    EXPECT_EQ(flash.status, 0) << adapter << "\n" << flash.err;
  }
  // An adapter whose driver refuses the break says so.
  const CliRun refused = Run(kSim + "--sim-faults refuse-break info");
  EXPECT_EQ(refused.status, 5);
  EXPECT_NE(refused.err.find("the adapter cannot send a break"), std::string::npos) << refused.err;
}

// What inspect lists is what an update sends, chunk for chunk, for each kind of example.
TEST_F(CliCommandsTest, InspectListsTheChunksThatFlashSends) {
  for (const char* name :
       {"fixture-app-1.1.srec2", "fixture-low-start.srec2", "fixture-low-blocks.srec2"}) {
    const std::string file = ExamplePath(name);
    const CliRun inspect = Run("--json inspect " + Quote(file));
    ASSERT_EQ(inspect.status, 0) << name;
    std::vector<std::string> planned;
    const json inspected = json::parse(inspect.out);
    for (const auto& chunk : inspected["chunks"]) {
      char line[64];
      std::snprintf(line, sizeof line, "Programming $%0X (%d bytes)...",
                    chunk["address"].get<unsigned>(), chunk["length"].get<int>());
      planned.push_back(line);
    }
    const CliRun flash = Run(kSim + "--json flash " + Quote(file));
    ASSERT_EQ(flash.status, 0) << name << flash.err;
    std::vector<std::string> sent;
    const json flashed = json::parse(flash.out);
    for (const auto& line : flashed["log"]) {
      if (line.get<std::string>().rfind("Programming", 0) == 0) {
        sent.push_back(line);
      }
    }
    EXPECT_EQ(sent, planned) << name;
    EXPECT_FALSE(planned.empty());
  }
}

#if !defined(_WIN32)
// The file is read once, so a pipe works: the bytes hashed are the bytes analysed and flashed.
TEST_F(CliCommandsTest, InspectAndFlashReadAPipeOnce) {
  const std::string file = ExamplePath("fixture-app-1.1.srec2");
  const std::string cat = "cat " + Quote(file);
  const json direct = json::parse(Run("--json inspect " + Quote(file)).out);
  const CliRun inspect =
      RunCliProgram("--json inspect /dev/stdin", (folder.path() / "err.txt").string(), cat);
  ASSERT_EQ(inspect.status, 0) << inspect.err;
  const json piped = json::parse(inspect.out);
  EXPECT_EQ(piped["sha256"], direct["sha256"]);
  EXPECT_EQ(piped["chunks"], direct["chunks"]);

  const CliRun flash =
      RunCliProgram(kSim + "--json flash /dev/stdin", (folder.path() / "err.txt").string(), cat);
  ASSERT_EQ(flash.status, 0) << flash.err;
  const json flashed = json::parse(flash.out);
  EXPECT_EQ(flashed["sha256"], direct["sha256"]);
  EXPECT_EQ(flashed["flash_checked"], true);
}
#endif

TEST_F(CliCommandsTest, FlashThatAbortsExitsWith6AndSaysSoInJson) {
  const std::string file = ExamplePath("fixture-app-1.1.srec2");
  // The fixture is found, then pulled out a second into the update.
  const CliRun run = Run(kSim + "--json --sim-faults unplug@1s flash " + Quote(file));
  EXPECT_EQ(run.status, 6);
  const json doc = json::parse(run.out);
  EXPECT_EQ(doc["result"], "aborted");
  EXPECT_EQ(doc["exit_code"], 6);
  EXPECT_EQ(doc["uid"], "4F 4C 12 34 56 78");
  EXPECT_EQ(doc["sha256"].get<std::string>().size(), 64u);
  const auto& log = doc["log"];
  EXPECT_NE(std::find(log.begin(), log.end(), "Operation ABORTED !  :-("), log.end());
  // Which step the loss cut off, and in which state it leaves the fixture.
  EXPECT_TRUE(run.err.starts_with("The adapter was lost while programming $")) << run.err;
  EXPECT_NE(run.err.find(" % written). The fixture is left in its bootloader with the new firmware "
                         "partly written ("),
            std::string::npos)
      << run.err;
}

TEST_F(CliCommandsTest, FlashTellsNoDeviceNoAdapterAndABadFileApart) {
  const std::string file = ExamplePath("fixture-app-1.1.srec2");
  EXPECT_EQ(Run(kSim + "--sim-fixtures 0 flash " + Quote(file)).status, 5);
  EXPECT_EQ(Run("--driver serial --port /nonexistent/tty flash " + Quote(file)).status, 4);
  const std::string bad = folder.Write("bad.srec2", S2Record(0x4000, {0xAA}, 1) + "\n");
  const CliRun run = Run(kSim + "flash " + Quote(bad));
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err, "Checksum error ad address 4000.\n");
  const CliRun json_run = Run(kSim + "--json flash " + Quote(bad));
  EXPECT_EQ(json_run.status, 3);
  EXPECT_EQ(json::parse(json_run.out)["result"], "bad file");
}

TEST_F(CliCommandsTest, FlashAllAdaptersGoesOnWhenOneAdapterFails) {
  const std::string file = ExamplePath("fixture-app-1.1.srec2");
  const CliRun run =
      Run(kSim + "--json --sim-adapters 3 --sim-faults 1:unplug@1s flash --all-adapters " +
          Quote(file));
  EXPECT_EQ(run.status, 6);
  const json doc = json::parse(run.out);
  ASSERT_EQ(doc["adapters"].size(), 3u);
  EXPECT_EQ(doc["adapters"][0]["result"], "success");
  EXPECT_EQ(doc["adapters"][1]["result"], "aborted");
  EXPECT_EQ(doc["adapters"][2]["result"], "success");
  EXPECT_EQ(doc["adapters"][2]["uid"], FormatUid(SimFixtureUid(2, 0)));
  EXPECT_EQ(doc["adapters"][0]["flash_checked"], true);

  const CliRun table = Run(kSim + "--sim-adapters 2 flash --all-adapters " + Quote(file));
  EXPECT_EQ(table.status, 0) << table.err;
  EXPECT_NE(table.err.find("[adapter 1]  VERY WELL DONE !\n"), std::string::npos);
  EXPECT_NE(table.out.find("adapter  fixture            result"), std::string::npos);
}

TEST_F(CliCommandsTest, BadArgumentsExitWith2) {
  const std::string file = ExamplePath("fixture-app-1.1.srec2");
  for (const std::string& arguments :
       {std::string(""), std::string("frobnicate"), std::string("flash"),
        kSim + "--baud 12345 info", kSim + "--uid " + Quote("zz") + " info",
        kSim + "--uid " + Quote("01 02 03 04 05 06 07") + " info", kSim + "--sim-fixtures 65 info",
        kSim + "--sim-faults bogus info", kSim + "--sim-faults " + Quote("4:drop=1") + " info",
        kSim + "set-address 0", kSim + "set-address 513", kSim + "identify maybe",
        std::string("--simulate --port /dev/ttyUSB0 info"),
        std::string("--driver serial --sim-dump x.bin info"), std::string("--driver bogus list"),
        kSim + "--sim-adapter bogus info", kSim + "--driver usbpro --sim-adapter ch340 info",
        kSim + "--widget-baud 115200 info", std::string("--sim-adapter ftdi info"),
        // Refused before the update: its flash could not be written at the end.
        kSim + "--sim-dump " + Quote((folder.path() / "none" / "flash.bin").string()) + " flash " +
            Quote(file)}) {
    const CliRun run = Run(arguments);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_EQ(run.out, "") << arguments;
    EXPECT_NE(run.err, "") << arguments;
  }
}

TEST_F(CliCommandsTest, EveryCommandHasHelpWithTheExitCodes) {
  for (const char* command :
       {"", "list", "info", "discover", "identify", "set-address", "inspect", "flash"}) {
    const CliRun run = Run(std::string(command) + " --help");
    EXPECT_EQ(run.status, 0) << command;
    EXPECT_NE(run.out.find("6  update aborted"), std::string::npos) << command;
  }
  EXPECT_EQ(Run(kSim + "--sim-adapters 2 list").out,
            "0  simulated adapter 0 (1 fixture)\n1  simulated adapter 1 (1 fixture)\n");
}

// The terminal's locale as the program reads it (LC_ALL decides), for one test.
class Locale {
 public:
  explicit Locale(const char* value) { Set(value); }
  ~Locale() { Set(""); }
  static void Set(const char* value) {
#if defined(_WIN32)
    _putenv_s("LC_ALL", value);
#else
    setenv("LC_ALL", value, 1);
#endif
  }
};

bool IsPrintableAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return c == '\n' || (c >= 0x20 && c < 0x7F); });
}

// A fixture's texts and the paths echoed back are data: no control byte reaches the terminal,
// Latin-1 shows as its letters where the terminal takes UTF-8, and every JSON document is ASCII
// and keeps the text.
TEST_F(CliCommandsTest, TextsFromOutsideReachTheTerminalAsDataAndJsonAsUtf8) {
  const std::string label = "Ger\xE4t \x1B[31mred";  // Latin-1 and an ESC sequence
  const std::string sim = kSim + "--sim-fixture " + Quote("0:label=" + label) + " ";
  const std::string path = "no\x1B]0;such\x07.srec2";
  for (const bool utf8 : {true, false}) {
    const Locale locale(utf8 ? "C.UTF-8" : "C");
    const CliRun info = Run(sim + "info");
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find(std::string("\nSoftware version:  Ger") +
                            (utf8 ? "\xC3\xA4" : "\\xE4") + "t \\x1B[31mred\n"),
              std::string::npos)
        << info.out;
    const CliRun inspect = Run("inspect " + Quote(path));
    EXPECT_EQ(inspect.status, 3);
    EXPECT_EQ(inspect.err, "Cannot read no\\x1B]0;such\\x07.srec2: no such file\n");
    for (const std::string& shown : {info.out, info.err, inspect.err}) {
      EXPECT_EQ(shown.find('\x1B'), std::string::npos) << shown;
    }
  }

  const std::string file = ExamplePath("fixture-app-1.1.srec2");
  const std::string kept = "Ger\xC3\xA4t \x1B[31mred";
  for (const auto& [command, key] :
       {std::pair<std::string, std::string>{"info", "software_version"},
        {"flash " + Quote(file), "software_version_before"}}) {
    const CliRun run = Run(sim + "--json " + command);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(IsPrintableAscii(run.out)) << run.out;
    EXPECT_EQ(json::parse(run.out)[key], kept) << command;
  }
  const CliRun inspect = Run("--json inspect " + Quote(path));
  EXPECT_TRUE(IsPrintableAscii(inspect.out)) << inspect.out;
  EXPECT_EQ(json::parse(inspect.out)["file"], path);
}

// Standard output carries what a command comes to, standard error its status lines; with
// --json standard output is one document, and why a port did not open is inside it.
TEST_F(CliCommandsTest, ResultsOnStandardOutputStatusOnStandardError) {
  const std::string connected =
      "[Connected]\n[Discover Node...]\n[Connected,  Device's Rdm_ID  =  4F 4C 12 34 56 78]\n";
  const CliRun info = Run(kSim + "info");
  EXPECT_EQ(info.out.rfind("UID:               4F 4C 12 34 56 78\n", 0), 0u) << info.out;
  EXPECT_EQ(info.err, connected);
  const CliRun identify = Run(kSim + "identify on");
  EXPECT_EQ(identify.out, "4F 4C 12 34 56 78: identify on\n");
  EXPECT_EQ(identify.err, connected);
#if !defined(_WIN32)
  const std::string port = (folder.path() / "ttyUSB9").string();
  const CliRun missing = Run("--port " + Quote(port) + " --json info");
  EXPECT_EQ(missing.status, 4);
  const json doc = json::parse(missing.out);
  EXPECT_EQ(doc["port_notices"], json::array({port + ": no such device"}));
  EXPECT_EQ(missing.err, port + ": no such device\nNo USB-to-RS485 adapter could be opened.\n");
#endif
}

// doctor on three adapters as technicians own them: no echo, echo with breaks that arrive, and
// echo with breaks that never reach the line (no fixture can then be found or updated).
TEST_F(CliCommandsTest, DoctorTellsEchoBreaksFixturesAndWhetherUpdatesCanRun) {
  struct Case {
    const char* profile;
    const char* echo;
    const char* breaks;
    int fixtures;
    int status;
  };
  const Case cases[] = {
      {"ftdi", "no echo: the adapter does not hear", "not tested", 1, 0},
      {"ftdi-echo", "hears its own transmission (echo)", "arrive", 2, 0},
      {"pl2303", "hears its own transmission (echo)", "never arrive", 0, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.profile);
    const std::string args = kSim + "--sim-adapter " + c.profile + " --sim-fixtures " +
                             std::to_string(std::max(c.fixtures, 1)) + " doctor";
    const CliRun text = Run(args);
    EXPECT_EQ(text.status, c.status) << text.err;
    EXPECT_NE(text.out.find(c.echo), std::string::npos) << text.out;
    const json doc = json::parse(Run("--json " + args).out);
    EXPECT_EQ(doc["exit_code"], c.status);
    ASSERT_EQ(doc["adapters"].size(), 1U);
    const json& adapter = doc["adapters"][0];
    EXPECT_EQ(adapter["echo"], c.profile != std::string("ftdi"));
    EXPECT_EQ(adapter["breaks"], c.breaks);
    json uids = json::array();
    for (int i = 0; i < c.fixtures; ++i) {
      uids.push_back(FormatUid(SimFixtureUid(0, i)));
      EXPECT_NE(text.out.find("    " + FormatUid(SimFixtureUid(0, i)) + "\n"), std::string::npos);
    }
    EXPECT_EQ(adapter["devices"], uids);
    const std::string last = text.out.substr(text.out.rfind('\n', text.out.size() - 2) + 1);
    EXPECT_EQ(last, doc["verdict"].get<std::string>() + "\n");
  }
  const CliRun broken = Run(kSim + "--sim-adapter pl2303 doctor");
  EXPECT_NE(broken.out.find("Updates cannot run: simulated adapter 0: the adapter cannot send a "
                            "break.\n"),
            std::string::npos);
  EXPECT_NE(Run(kSim + "--sim-fixtures 2 doctor")
                .out.find("Updates can run: 2 fixtures on 1 "
                          "adapter.\n"),
            std::string::npos);
}

}  // namespace
}  // namespace quillmont::testing
