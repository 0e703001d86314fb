// SPDX-License-Identifier: Apache-2.0
// Runs the built quillmont-cli as a program, the way scripts and production lines do.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "../update/srec2_test_files.h"
#include "run_cli.h"

namespace {

struct Outcome {
  int status = -1;
  std::string out;
};

using quillmont::testing::ClosePipe;
using quillmont::testing::kNullDevice;
using quillmont::testing::OpenPipe;
using quillmont::testing::Quote;

Outcome Shell(const std::string& command) {
  Outcome outcome;
  std::FILE* pipe = OpenPipe(command);
  if (pipe == nullptr) {
    return outcome;
  }
  std::array<char, 4096> block{};
  size_t got = 0;
  while ((got = std::fread(block.data(), 1, block.size(), pipe)) > 0) {
    outcome.out.append(block.data(), got);
  }
  outcome.status = ClosePipe(pipe);
  return outcome;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(CliProgramTest, InspectsAnExampleFile) {
  const std::string example = std::string(QUILLMONT_SOURCE_DIR) + "/examples/fixture-app-1.1.srec2";
  const Outcome run = Shell(Quote(QUILLMONT_CLI_PATH) + " inspect " + Quote(example));
  EXPECT_EQ(run.status, 0);
  const std::string head =
      "code_begin = $4000; code_end = $6FFF;  signature = $04100\r\n"
      "erase_list = $4000 \n"
      "loaded bytes: 11936\n"
      "records: 373\n" +
      std::string(QUILLMONT_APP_EXAMPLE_SHA256) + "  " + example + "\n" + "program chunks: 65\n";
  EXPECT_EQ(run.out.substr(0, head.size()), head);
  EXPECT_TRUE(run.out.ends_with(
      "  $06FC0   64 bytes  erased by $4000\n  $04100    4 bytes  erased by $4000\n"));
}

TEST(CliProgramTest, BadFileExitsWith3AndTellsStandardError) {
  quillmont::testing::TestFolder folder;
  const std::string bad =
      folder.Write("bad.srec2", quillmont::testing::S2Record(0x4000, {0xAA}, 1) + "\n");
  const std::string err = (folder.path() / "err.txt").string();
  const Outcome run =
      Shell(Quote(QUILLMONT_CLI_PATH) + " inspect " + Quote(bad) + " 2>" + Quote(err));
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(ReadFile(err), "Checksum error ad address 4000.\n");

  EXPECT_EQ(Shell(Quote(QUILLMONT_CLI_PATH) + " inspect 2>" + kNullDevice).status, 2);
  EXPECT_EQ(Shell(Quote(QUILLMONT_CLI_PATH) + " --version").out, "quillmont-cli 3.20\n");
}

}  // namespace
