// SPDX-License-Identifier: Apache-2.0
// The update history: every update that reached a fixture, from flash, --all-adapters or a rig,
// is one line of history.jsonl in the user's data folder, and `history` lists them. quillmont-cli
// runs as a program on the simulated line, with folders of the test's own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "../update/srec2_test_files.h"
#include "drivers/driver_choice.h"
#include "run_cli.h"
#include "station/file_digest.h"

namespace quillmont::testing {
namespace {

using nlohmann::json;

const std::string kSim = "--simulate --sim-fast ";

class HistoryTest : public ::testing::Test {
 protected:
  HistoryTest() {
    Set("HOME", folder.path() / "home");
    Set("XDG_DATA_HOME", folder.path() / "data");
    Set("XDG_CONFIG_HOME", folder.path() / "config");
  }
  ~HistoryTest() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }
  void Set(const std::string& name, const std::filesystem::path& value) {
    const char* old = std::getenv(name.c_str());
    saved_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
    setenv(name.c_str(), value.c_str(), 1);
  }
  CliRun Run(const std::string& arguments) {
    return RunCliProgram(arguments, (folder.path() / "err.txt").string());
  }
  std::filesystem::path HistoryFile() const {
    return folder.path() / "data" / "quillmont" / "history.jsonl";
  }
  // Every line of the history, each a JSON object.
  std::vector<json> Recorded() const {
    std::ifstream in(HistoryFile());
    std::vector<json> records;
    for (std::string line; std::getline(in, line);) {
      records.push_back(json::parse(line));
    }
    return records;
  }
  std::string App() const { return Quote(ExamplePath("fixture-app-1.1.srec2")); }

  TestFolder folder;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// One update, four at once and one of a file without a signature: six records, listed by
// `history --json` as they were written.
TEST_F(HistoryTest, EveryUpdateThatReachedAFixtureIsOneRecord) {
  const std::string unsigned_file = folder.Write(
      "unsigned.srec2", S2Record(0x4000, std::vector<uint8_t>(64, 0x5A)) + "\nS804000000FB\n");
  EXPECT_EQ(Run(kSim + "flash " + App()).status, 0);
  EXPECT_EQ(Run(kSim + "--sim-adapters 4 flash --all-adapters " + App()).status, 0);
  const CliRun stays = Run(kSim + "flash " + Quote(unsigned_file));
  EXPECT_EQ(stays.status, 8) << stays.err;

  const CliRun listed = Run("--json history");
  ASSERT_EQ(listed.status, 0) << listed.err;
  const json records = json::parse(listed.out)["records"];
  ASSERT_EQ(records.size(), 6u) << listed.out;
  EXPECT_EQ(records, json(Recorded()));
  const std::regex utc(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)");
  std::set<std::pair<std::string, std::string>> fleet;
  for (size_t i = 0; i < 5; ++i) {
    const json& r = records[i];
    EXPECT_EQ(r["result"], "success") << r.dump();
    EXPECT_EQ(r["sha256"], QUILLMONT_APP_EXAMPLE_SHA256);
    EXPECT_EQ(r["version_before"], "Quillmont demo app 1.0");
    EXPECT_EQ(r["version_after"], "Quillmont demo app 1.1");
    if (i > 0) {
      fleet.emplace(r["adapter"], r["uid"]);
    }
  }
  // The four adapters' fixtures (recorded as each ended), each with its own adapter.
  std::set<std::pair<std::string, std::string>> adapters;
  for (int a = 0; a < 4; ++a) {
    adapters.emplace("simulated adapter " + std::to_string(a), FormatUid(SimFixtureUid(a, 0)));
  }
  EXPECT_EQ(fleet, adapters);
  const json& last = records[5];
  EXPECT_EQ(last["result"], "stays in bootloader");
  EXPECT_EQ(last["sha256"], *Sha256FileHex(unsigned_file));
  EXPECT_EQ(last["file"], std::filesystem::absolute(unsigned_file).lexically_normal().string());
  for (const json& r : records) {
    EXPECT_TRUE(std::regex_match(r["time"].get<std::string>(), utc)) << r["time"];
    EXPECT_EQ(r["program"], "quillmont-cli");
    EXPECT_EQ(r["model"], "Quillmont Sim Spot");
    EXPECT_EQ(r["simulated"], true);
    EXPECT_GT(r["seconds"].get<double>(), 0.0);
  }
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "home"));
}

// Recording off (--no-history, the settings file), and runs that reached no fixture: nothing
// is written; a history that cannot be written is a warning. Without XDG_DATA_HOME the history
// lies under the home.
TEST_F(HistoryTest, NothingIsRecordedWhenOffOrWhenNoUpdateRan) {
  EXPECT_EQ(Run("--no-history " + kSim + "flash " + App()).status, 0);
  std::filesystem::create_directories(folder.path() / "config" / "quillmont");
  const std::string settings = folder.Write("config/quillmont/quillmont.conf",
                                            "# the bench's copy\nhistory = off\ncolour = blue\n");
  const CliRun off = Run(kSim + "flash " + App());
  EXPECT_EQ(off.status, 0);
  EXPECT_NE(off.err.find("quillmont.conf line 3: unknown key \"colour\"; ignored."),
            std::string::npos)
      << off.err;
  std::filesystem::remove(settings);

  const std::string cut = folder.Write("cut.srec2", S2Record(0x4000, {1, 2, 3, 4}) + "\n");
  EXPECT_EQ(Run(kSim + "--baud 12345 flash " + App()).status, 2);
  EXPECT_EQ(Run(kSim + "flash " + Quote(cut)).status, 3);
  EXPECT_EQ(Run(kSim + "--sim-fixtures 0 flash " + App()).status, 5);
  EXPECT_FALSE(std::filesystem::exists(HistoryFile()));

  // A history that cannot be written is told; the update's own result stands.
  setenv("XDG_DATA_HOME", folder.Write("not-a-folder", "").c_str(), 1);
  const CliRun unwritable = Run(kSim + "flash " + App());
  EXPECT_EQ(unwritable.status, 0);
  EXPECT_NE(unwritable.err.find("The update was not recorded in "), std::string::npos)
      << unwritable.err;

  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(Run(kSim + "flash " + App()).status, 0);
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "home/.local/share/quillmont/history.jsonl"));
}

// The history command: damaged lines skipped with a warning each, --uid and --since choose,
// --csv quotes what needs it.
TEST_F(HistoryTest, TheHistoryCommandFiltersAndSkipsDamagedLines) {
  const auto record = [](const char* time, const char* uid, const char* model) {
    return json{{"time", time}, {"uid", uid}, {"model", model}, {"result", "success"}}.dump();
  };
  std::filesystem::create_directories(HistoryFile().parent_path());
  std::ofstream(HistoryFile()) << record("2024-05-01T10:00:00Z", "4F 4C 00 00 00 01", "Spot")
                               << "\n{\"time\": 3\n"
                               << record("2024-06-01T00:00:00Z", "4F 4C 00 00 00 02",
                                         "Wash, \"wide\"")
                               << '\n'
                               << std::string(70000, 'x') << '\n'
                               << record("2024-07-01T08:30:00Z", "4F 4C 00 00 00 01", "Spot")
                               << '\n';

  const CliRun all = Run("--json history");
  ASSERT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(json::parse(all.out)["records"].size(), 3u);
  EXPECT_NE(all.err.find("line 2: damaged"), std::string::npos) << all.err;
  EXPECT_NE(all.err.find("line 4: damaged"), std::string::npos) << all.err;

  const json chosen =
      json::parse(Run("--json --uid 4F4C00000001 history --since 2024-06-01").out)["records"];
  ASSERT_EQ(chosen.size(), 1u);
  EXPECT_EQ(chosen[0]["time"], "2024-07-01T08:30:00Z");

  EXPECT_EQ(Run("--uid " + Quote("4F 4C 00 00 00 02") + " history --csv").out,
            "time,program,adapter,uid,model,version_before,version_after,file,sha256,result,"
            "detail,seconds,simulated\n"
            "2024-06-01T00:00:00Z,,,4F 4C 00 00 00 02,\"Wash, \"\"wide\"\"\",,,,,success,,0.0,"
            "false\n");
  EXPECT_EQ(Run("history --since 2024-13-01").status, 2);
  EXPECT_EQ(Run("--json history --csv").status, 2);
}

}  // namespace
}  // namespace quillmont::testing
