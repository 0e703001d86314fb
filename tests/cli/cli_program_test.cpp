// Runs the built quillmont-cli as a program, the way scripts and production lines do.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "../update/srec2_test_files.h"

namespace {

struct Outcome {
  int status = -1;
  std::string out;
};

Outcome Shell(const std::string& command) {
  Outcome outcome;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return outcome;
  }
  std::array<char, 4096> block{};
  size_t got = 0;
  while ((got = std::fread(block.data(), 1, block.size(), pipe)) > 0) {
    outcome.out.append(block.data(), got);
  }
  const int raw = pclose(pipe);
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return outcome;
}

std::string Quote(const std::string& text) {
  return "'" + text + "'";
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
  const Outcome sum = Shell("sha256sum " + Quote(example));
  ASSERT_EQ(sum.status, 0);
  const std::string head =
      "code_begin = $4000; code_end = $6FFF;  signature = $04100\r\n"
      "erase_list = $4000 \n"
      "loaded bytes: 11936\n"
      "records: 373\n" +
      sum.out + "program chunks: 65\n";
  EXPECT_EQ(run.out.substr(0, head.size()), head);
  EXPECT_TRUE(run.out.ends_with("  $06FC0   64 bytes\n  $04100    4 bytes\n"));
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

  EXPECT_EQ(Shell(Quote(QUILLMONT_CLI_PATH) + " inspect 2>/dev/null").status, 2);
  EXPECT_EQ(Shell(Quote(QUILLMONT_CLI_PATH) + " --version").out, "quillmont-cli 3.20\n");
}

}  // namespace
