// SPDX-License-Identifier: Apache-2.0
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "../update/srec2_test_files.h"
#include "cli/cli_app.h"
#include "cli/exit_codes.h"
#include "station/file_digest.h"

namespace quillmont::cli {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

CliRun RunWith(std::vector<std::string> args) {
  args.insert(args.begin(), "quillmont-cli");
  std::vector<const char*> argv;
  for (const std::string& arg : args) {
    argv.push_back(arg.c_str());
  }
  std::ostringstream out;
  std::ostringstream err;
  const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
  return {status, out.str(), err.str()};
}

TEST(InspectCommandTest, PrintsTheAnalysisLineAndASummary) {
  quillmont::testing::TestFolder folder;
  const std::string path = folder.Write(
      "fw.srec2", quillmont::testing::S2Record(0x4000, {0x10, 0x20, 0x30}) + "\n" +
                      quillmont::testing::S2Record(0x4100, {0x47, 0x4B, 0x4A, 0x41}) + "\n");
  const CliRun run = RunWith({"inspect", path});
  EXPECT_EQ(run.status, kExitSuccess);
  EXPECT_THAT(run.err, IsEmpty());
  // The file has no end record: inspect says up front that it may have been cut short.
  EXPECT_EQ(
      run.out,
      "Warning: The file has no end record (S7, S8 or S9) or count record (S5 or S6) after its "
      "last data record: it may have been cut short. "
      "quillmont-cli flash refuses it unless given --allow-unterminated.\n"
      "code_begin = $4000; code_end = $4002;  signature = $04100\r\n"
      "erase_list = $4000 \n"
      "loaded bytes: 7\n"
      "records: 2\n" +
          *Sha256FileHex(path) + "  " + path + "\n" +
          "program chunks: 2\n"
          "  $04000    4 bytes  erased by $4000\n"
          "  $04100    4 bytes  erased by $4000\n");

  // Data in the block at 0, which no update erases: the chunk says so, and so does a warning.
  const std::string low = folder.Write(
      "low.srec2", quillmont::testing::S2Record(0x100, {0x10, 0x20}) + "\n" +
                       quillmont::testing::S2Record(0x4000, {0x10, 0x20}) + "\nS9030000FC\n");
  const CliRun refused = RunWith({"inspect", low});
  EXPECT_EQ(refused.status, kExitSuccess);
  EXPECT_THAT(refused.out, HasSubstr("Warning: The file has data at $100 in flash that this update "
                                     "does not erase"));
  EXPECT_THAT(refused.out, HasSubstr("  $00100    2 bytes  NOT ERASED: $00100\n"
                                     "  $04000    2 bytes  erased by $4000\n"));
}

TEST(InspectCommandTest, BadFilesExitWithTheLoadersMessage) {
  quillmont::testing::TestFolder folder;
  const struct {
    std::string content;
    std::string message;
  } cases[] = {
      {quillmont::testing::S2Record(0x4000, {1, 2}, 1) + "\n", "Checksum error ad address 4000.\n"},
      {quillmont::testing::S2Record(0x3FFFF, {1, 2}) + "\n",
       "Record beyond flash ad address 3FFFF.\n"},
      {"S0030000FC\nS804000000FB\n", "No data records in file.\n"},
  };
  for (const auto& c : cases) {
    const CliRun run = RunWith({"inspect", folder.Write("bad.srec2", c.content)});
    EXPECT_EQ(run.status, kExitBadFile);
    EXPECT_EQ(run.err, c.message);
    EXPECT_THAT(run.out, IsEmpty());
  }
  const std::string none = (folder.path() / "none.srec2").string();
  const CliRun missing = RunWith({"inspect", none});
  EXPECT_EQ(missing.status, kExitBadFile);
  EXPECT_EQ(missing.err, "Cannot read " + none + ": no such file\n");
}

TEST(InspectCommandTest, CommandLineErrorsExitWith2) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"inspect"},
                                             {"inspect", "a", "b"},
                                             {"frobnicate"},
                                             {"--nonsense", "inspect", "x"}}) {
    const CliRun run = RunWith(args);
    EXPECT_EQ(run.status, kExitBadArguments) << ::testing::PrintToString(args);
    EXPECT_THAT(run.err, ::testing::Not(IsEmpty()));
  }
}

TEST(InspectCommandTest, VersionAndHelp) {
  const CliRun version = RunWith({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "quillmont-cli 3.20\n");

  const CliRun help = RunWith({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, HasSubstr("inspect"));
  EXPECT_THAT(help.out, HasSubstr("2  bad arguments"));
  EXPECT_THAT(help.out, HasSubstr("6  update aborted"));
}

}  // namespace
}  // namespace quillmont::cli
