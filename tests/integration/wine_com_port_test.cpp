// SPDX-License-Identifier: Apache-2.0
// The Windows program over a real serial path: quillmont-sim (built for this system) serves the
// fixture on a pseudo-terminal, and quillmont-cli.exe under Wine updates it through COM5, which
// is a link from the Wine prefix's dosdevices folder to that pseudo-terminal. Everything runs on
// the real clock; every program has a deadline.
//
// scripts/test-windows runs it with the cross-built program (QUILLMONT_WINDOWS_CLI names
// quillmont-cli.exe) and the Wine prefix it made (WINEPREFIX).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
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
constexpr int kFlashMs = 60000;   // Wine's start, then a few seconds of update
constexpr int kFinishMs = 10000;  // quillmont-sim's end after the new application started

const std::string kImage = std::string(QUILLMONT_SOURCE_DIR) + "/examples/fixture-app-1.1.srec2";

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The path as a Windows program under Wine names it: drive Z: is the root of this system.
std::string WinePath(const fs::path& path) {
  std::string text = "Z:" + fs::absolute(path).string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

TEST(WineComPort, CliExeUpdatesTheFixtureServedBehindCom5) {
  const std::string cli = Environment("QUILLMONT_WINDOWS_CLI");
  const fs::path prefix = Environment("WINEPREFIX");
  ASSERT_FALSE(cli.empty()) << "QUILLMONT_WINDOWS_CLI names the cross-built quillmont-cli.exe";
  ASSERT_TRUE(fs::is_directory(prefix / "dosdevices")) << "WINEPREFIX names a Wine prefix";
  std::string pattern = (fs::temp_directory_path() / "quillmont-com-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  const fs::path com5 = prefix / "dosdevices" / "com5";
  std::error_code ignored;
  fs::remove(com5, ignored);

  ChildProcess sim(
      QUILLMONT_SIM_PROGRAM,
      {"--exit-after-start", "--dump", (dir / "flash.bin").string(), "--link", com5.string()},
      (dir / "sim.err").string());
  std::string line;
  ASSERT_TRUE(sim.ReadLine(line, kStartMs)) << "quillmont-sim said nothing";
  ASSERT_TRUE(std::regex_match(line, std::regex("quillmont-sim: fixture .* on /dev/pts/[0-9]+")))
      << line;

  ChildProcess wine(QUILLMONT_WINE_PROGRAM,
                    {cli, "--driver", "serial", "--port", "COM5", "flash", WinePath(kImage)},
                    (dir / "cli.err").string());
  const std::string out = wine.ReadRest(kFlashMs);
  EXPECT_EQ(wine.Wait(1000), 0) << out;
  // The log goes to standard error, the summary to standard output.
  std::ifstream err_file(dir / "cli.err");
  const std::string log((std::istreambuf_iterator<char>(err_file)), {});
  EXPECT_NE(log.find("VERY WELL DONE !"), std::string::npos) << log;
  EXPECT_NE(out.find("Result:   success: The fixture answers from its new application"),
            std::string::npos)
      << out;

  // The fixture itself says it started the new application, and its flash holds the file.
  EXPECT_EQ(sim.Wait(kFinishMs), 0);
  const std::string said = sim.ReadRest(1000);
  EXPECT_NE(said.find("started its application \"Quillmont demo app 1.1\""), std::string::npos)
      << said;
  std::ifstream in(dir / "flash.bin", std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  ASSERT_EQ(bytes.size(), kFlashSize);
  NorFlash flash;
  flash.Load(0, reinterpret_cast<const uint8_t*>(bytes.data()), kFlashSize);
  FirmwareImage image;
  const Result<Srec2Stats> loaded = LoadSrec2File(kImage, image);
  ASSERT_TRUE(loaded) << loaded.error().message;
  uint32_t mismatch = 0;
  EXPECT_TRUE(FlashHoldsImage(flash, image, &mismatch)) << "first difference at " << mismatch;
  EXPECT_FALSE(fs::is_symlink(com5)) << "the link goes with quillmont-sim";
  fs::remove_all(dir, ignored);
}

}  // namespace
}  // namespace quillmont::testing
