// SPDX-License-Identifier: Apache-2.0
// Images at the edges of the flash and of the erase plan, run through the simulated fixture's
// bootloader: what is programmed, and what the flash holds afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "update_sim_bench.h"

namespace quillmont {
namespace {

using testing::Changed;
using testing::DataRun;
using testing::LoadedFirmware;
using testing::ProgramLine;
using testing::Srec2Text;

class ImageEdgesTest : public ::testing::Test, public testing::SimUpdateBench {
 protected:
  ImageEdgesTest() : SimUpdateBench(Config()) {}
  static FixtureConfig Config() {
    FixtureConfig config;
    config.start_in_bootloader = true;
    return config;
  }
  testing::TestFolder folder;
};

TEST_F(ImageEdgesTest, AnOddChunkEndingOnTheLastAddressStartsOneByteEarlier) {
  // 192 bytes from 0x3FF00, then 3 bytes that end on the image's last address.
  const std::string path =
      folder.Write("top.srec2", Srec2Text({Changed(0x3FF00, 192), Changed(0x3FFFD, 3)}));
  Connect();
  const std::string log = Update(path, 3000);
  ASSERT_TRUE(finished);
  EXPECT_NE(log.find(ProgramLine(0x3FF00, 192) + "\r\n" + ProgramLine(0x3FFFC, 4) +
                     "\r\nStarting user-program...\r\n"),
            std::string::npos)
      << log;
  // No signature in the file: the bootloader keeps the fixture.
  EXPECT_TRUE(testing::EndsWithVerdict(log, testing::kStillInBootloader)) << log;
  EXPECT_TRUE(FlashHolds(path));
  EXPECT_EQ(Fixture().flash().at(0x3FFFC), 0xFF)
      << "the extra byte, at its fill pattern, stays erased";
}

TEST_F(ImageEdgesTest, AnImageOfLowBlocksOnlyIsProgrammedWhereItWasErased) {
  const std::string path =
      folder.Write("low.srec2", Srec2Text({Changed(0x500, 0x100), Changed(0x900, 4)}));
  Connect();
  const std::string log = Update(path, 3000);
  ASSERT_TRUE(finished);
  EXPECT_NE(log.find("erase_list = $400 $800 \r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Erasing block $400...\r\nErasing block $800...\r\n" +
                     ProgramLine(0x500, 192) + "\r\n" + ProgramLine(0x5C0, 64) + "\r\n" +
                     ProgramLine(0x900, 4) + "\r\nStarting user-program...\r\n"),
            std::string::npos)
      << log;
  EXPECT_TRUE(testing::EndsWithVerdict(log, testing::kStillInBootloader)) << log;
  EXPECT_TRUE(FlashHolds(path));
}

// The signature is the last thing in the file: its placeholder equals the fill pattern, so the
// code range ends before it and the last code chunk's acknowledgement leaves the write address
// on the signature itself. It still goes out, last.
TEST_F(ImageEdgesTest, TheSignatureIsWrittenWhenTheFileEndsWithIt) {
  testing::DataRun signature{0x4100, {0x47, 0x4B, 0x4A, 0x41}};
  const std::string path =
      folder.Write("sig-last.srec2", Srec2Text({Changed(0x4000, 0x100), signature}));
  Connect();
  const LoadedFirmware file = testing::LoadFirmware(path);
  ASSERT_EQ(file.analysis.signature, 0x4100u);
  ASSERT_EQ(file.analysis.code_end, 0x40FFu);
  const std::string log = Update(path, 3000);
  ASSERT_TRUE(finished);
  EXPECT_NE(log.find(ProgramLine(0x4000, 192) + "\r\n" + ProgramLine(0x40C0, 64) + "\r\n" +
                     ProgramLine(0x4100, 4) + "\r\nStarting user-program...\r\n"),
            std::string::npos)
      << log;
  EXPECT_TRUE(testing::EndsWithVerdict(log, testing::kStartedApplication)) << log;
  EXPECT_TRUE(FlashHolds(path));
  EXPECT_TRUE(Fixture().ApplicationValid());
  EXPECT_EQ(PlanChunks(*file.analysed, file.analysis).size(), 3u) << "inspect lists the same";
}

// Whatever the image, no chunk writes flash that the update did not erase. The fixture's flash
// starts as zeros, an older firmware everywhere, so a byte programmed over it unerased reads
// wrong. An image with data where nothing is erased is refused before anything is sent.
TEST_F(ImageEdgesTest, NoChunkIsProgrammedOutsideTheErasedBlocks) {
  const DataRun low_start_signature{0x2000, {0x02, 0x21, 0x02, 0x23}};
  const DataRun signature_at_9100{0x9100, {0x47, 0x4B, 0x4A, 0x41}};
  const struct {
    std::string name;
    std::vector<DataRun> runs;
    int64_t refused_at;  // -1: flashed
    const char* verdict;
  } cases[] = {
      {"from-0", {Changed(0x0000, 0xC00)}, 0x0, nullptr},
      {"block-0-only", {Changed(0x100, 0x40)}, 0x100, nullptr},
      {"low-start-over-0x1F00",
       {Changed(0x1F00, 0x100), low_start_signature, Changed(0x2004, 0x400)},
       0x1F00,
       nullptr},
      {"from-0x2100-low-only", {Changed(0x2100, 0x1000)}, -1, testing::kStillInBootloader},
      {"from-0x2100-into-code", {Changed(0x2100, 0x3000)}, -1, testing::kStillInBootloader},
      {"from-0x9000",
       {Changed(0x9000, 0x100), signature_at_9100, Changed(0x9104, 0x1000)},
       -1,
       testing::kStartedApplication},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::SimUpdateBench bench(Config());
    const std::vector<uint8_t> older(kFlashSize, 0x00);
    bench.Fixture().flash().Load(0, older.data(), kFlashSize);
    bench.Connect();
    const std::string path = folder.Write(c.name + ".srec2", Srec2Text(c.runs));
    const std::string log = bench.Update(path, 20000);
    ASSERT_TRUE(bench.finished);
    if (c.refused_at >= 0) {
      const std::string told = "The file has data at $" +
                               testing::Hex(static_cast<uint32_t>(c.refused_at)) +
                               " in flash that this update does not erase";
      EXPECT_NE(log.find(told), std::string::npos) << log;
      ASSERT_EQ(bench.port.message_boxes.size(), 1u);
      EXPECT_EQ(bench.port.message_boxes[0].find(told), 0u);
      EXPECT_EQ(log.find("Looking for bootloader"), std::string::npos) << "nothing was sent";
      EXPECT_EQ(bench.Fixture().erase_commands(), 0);
      continue;
    }
    EXPECT_TRUE(testing::EndsWithVerdict(log, c.verdict)) << log;
    EXPECT_TRUE(bench.FlashHolds(path));
  }
}

TEST(LowBootloaderUpdateTest, TheLowBootloaderJumpsIntoTheBootloaderAndTheUpdateSucceeds) {
  FixtureConfig config;
  config.low_bootloader = true;
  testing::SimUpdateBench bench(config);
  bench.Connect();
  const std::string path = testing::ExamplePath("fixture-app-1.1.srec2");
  const std::string log = bench.Update(path, 3000);
  ASSERT_TRUE(bench.finished);
  EXPECT_NE(log.find("Entering bootloader...\r\n"
                     "Looking for bootloader...\r\n"
                     "Low Bootloader Detected!\r\n"
                     "Trying to jump into BootLoader...\r\n"
                     "Looking for bootloader...\r\n"
                     "Erasing block $4000...\r\n"),
            std::string::npos)
      << log;
  EXPECT_TRUE(testing::EndsWithVerdict(log, testing::kStartedApplication)) << log;
  EXPECT_TRUE(bench.FlashHolds(path));
  bench.Ticks(10);
  EXPECT_EQ(bench.Fixture().ApplicationLabel(), "Quillmont demo app 1.1");
}

}  // namespace
}  // namespace quillmont
