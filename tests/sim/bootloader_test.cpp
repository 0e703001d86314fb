// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim/nor_flash.h"
#include "sim_bench.h"
#include "update/image_analysis.h"
#include "update/update_job.h"

namespace quillmont::testing {
namespace {

std::vector<uint8_t> ErasePd(uint32_t address) {
  std::vector<uint8_t> pd = {BOOT_SYNC,
                             BOOT_ERASE,
                             static_cast<uint8_t>(address >> 24),
                             static_cast<uint8_t>(address >> 16),
                             static_cast<uint8_t>(address >> 8),
                             static_cast<uint8_t>(address),
                             0,
                             0,
                             0,
                             0};
  WordSumChecksum(pd.data(), 3);
  return pd;
}

std::vector<uint8_t> ProgramPd(uint32_t address, const uint8_t* data, uint16_t length) {
  const uint32_t marked = address | 0x80000000u;
  std::vector<uint8_t> pd(12u + length, 0);
  pd[0] = BOOT_SYNC;
  pd[1] = BOOT_PROGRAM;
  for (int i = 0; i < 4; ++i) {
    pd[2 + i] = static_cast<uint8_t>(marked >> (24 - 8 * i));
  }
  pd[6] = static_cast<uint8_t>(length >> 8);
  pd[7] = static_cast<uint8_t>(length);
  for (uint16_t i = 0; i < length; ++i) {
    pd[8 + i] = data[i];
  }
  WordSumChecksum(pd.data(), static_cast<int16_t>(length / 2 + 4));
  return pd;
}

FixtureConfig InBootloader() {
  FixtureConfig config;
  config.start_in_bootloader = true;
  return config;
}

uint8_t ControlByte(SimBench& bench) {
  const auto reply = bench.Exchange(DISCOVERY_COMMAND, DISC_UN_MUTE);
  const auto pd = ParameterData(reply);
  return pd.size() == 2 ? pd[1] : 0xEE;  // 0xEE: no usable answer
}

TEST(SimulatedBootloader, EnterCommandResetsIntoTheBootloaderWithoutAReply) {
  SimBench bench;
  EXPECT_EQ(ControlByte(bench), 0x00);
  bench.Send(SET_COMMAND, PID_BOOTLOADER, {BOOT_SYNC, BOOT_ENTER});
  bench.clock.SleepMs(20);
  EXPECT_EQ(bench.Waiting(), 0u);
  // Still resetting (50 ms from the end of the request at 1.4 ms): a poll goes unheard.
  bench.Send(DISCOVERY_COMMAND, DISC_UN_MUTE);
  bench.clock.SleepMs(28);
  EXPECT_EQ(bench.Waiting(), 0u);
  EXPECT_TRUE(bench.fixture().resetting());
  bench.clock.SleepMs(4);
  EXPECT_EQ(bench.Waiting(), 0u);
  EXPECT_FALSE(bench.fixture().resetting());
  EXPECT_EQ(ControlByte(bench), kControlBootLoader);
  EXPECT_EQ(bench.fixture().stage(), FixtureStage::kBootloader);
}

TEST(SimulatedBootloader, WorkedEraseAndProgramExamplesAreAcceptedAndAcknowledged) {
  SimBench bench(InBootloader());
  bench.fixture().flash().Load(0x4000, std::vector<uint8_t>(4, 0x00).data(), 4);

  const std::vector<uint8_t> erase = {0x55, 0xA1, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0xA1, 0x95};
  bench.Send(SET_COMMAND, PID_BOOTLOADER, erase);
  // The acknowledgement comes once the 40 ms erase is done, and not before.
  bench.clock.SleepMs(40);
  EXPECT_EQ(bench.Waiting(), 0u);
  const auto erased = bench.ReadFrame();
  ASSERT_EQ(erased.size(), 28u);
  EXPECT_EQ(erased[kOffsetCommandClass], SET_COMMAND_RESPONSE);
  EXPECT_EQ(ParameterData(erased), (std::vector<uint8_t>{0x55, 0xA1}));
  EXPECT_EQ(bench.fixture().flash().at(0x4000), 0xFF);

  const std::vector<uint8_t> program = {0x55, 0xA4, 0x80, 0x00, 0x40, 0x00, 0x00, 0x04,
                                        0x01, 0x02, 0x03, 0x04, 0x00, 0x00, 0xAF, 0x19};
  const auto echo = bench.Exchange(SET_COMMAND, PID_BOOTLOADER, program);
  ASSERT_EQ(echo.size(), 42u);
  EXPECT_EQ(echo[kOffsetCommandClass], GET_COMMAND_RESPONSE);
  EXPECT_EQ(ParameterData(echo), program);
  for (uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(bench.fixture().flash().at(0x4000 + i), i + 1);
  }
}

TEST(SimulatedBootloader, BadChecksumsAndMalformedCommandsAreIgnored) {
  SimBench bench(InBootloader());
  const uint8_t data[4] = {0x01, 0x02, 0x03, 0x04};
  std::vector<std::vector<uint8_t>> bad;
  auto erase = ErasePd(0x4000);
  erase[9] ^= 0x01;
  bad.push_back(erase);
  auto program = ProgramPd(0x4000, data, 4);
  program[15] ^= 0x01;
  bad.push_back(program);
  auto unmarked = ProgramPd(0x4000, data, 4);
  unmarked[2] = 0x00;  // address without bit 31
  bad.push_back(unmarked);
  auto odd = ProgramPd(0x4000, data, 3);  // odd length
  bad.push_back(odd);
  auto short_pd = ProgramPd(0x4000, data, 4);
  short_pd.pop_back();  // PDL does not match the length
  bad.push_back(short_pd);
  bad.push_back(ProgramPd(kFlashSize - 2, data, 4));  // runs off the flash
  bad.push_back(ErasePd(kFlashSize));
  for (const auto& pd : bad) {
    bench.Send(SET_COMMAND, PID_BOOTLOADER, pd);
    bench.clock.SleepMs(60);
    EXPECT_EQ(bench.Waiting(), 0u);
  }
  EXPECT_EQ(bench.line.replies(0), 0u);
  EXPECT_EQ(bench.fixture().flash().at(0x4000), 0xFF);
  EXPECT_EQ(bench.fixture().erase_commands(), 0);
}

TEST(SimulatedBootloader, ChunkOverUnerasedFlashIsCorruptedAndFillBytesStayErased) {
  SimBench bench(InBootloader());
  const uint8_t first[4] = {0xF0, 0xF0, 0xF0, 0xF0};
  const uint8_t second[4] = {0x0F, 0x0F, 0xFD, 0xFC};  // 0x5002, 0x5003: their fill pattern
  ASSERT_FALSE(bench.Exchange(SET_COMMAND, PID_BOOTLOADER, ProgramPd(0x5000, first, 4)).empty());
  // The echo comes back although the flash did not take the bytes: only a read-back tells.
  ASSERT_FALSE(bench.Exchange(SET_COMMAND, PID_BOOTLOADER, ProgramPd(0x5000, second, 4)).empty());
  const NorFlash& flash = bench.fixture().flash();
  EXPECT_EQ(flash.at(0x5000), 0x00);
  EXPECT_EQ(flash.at(0x5001), 0x00);
  EXPECT_EQ(flash.at(0x5002), 0xF0);
  EXPECT_EQ(flash.at(0x5003), 0xF0);

  FirmwareImage image;
  std::memcpy(&image.bytes[0x5000], second, 4);
  std::fill(image.loaded.begin() + 0x5000, image.loaded.begin() + 0x5004, 1);
  uint32_t mismatch = 0;
  EXPECT_FALSE(FlashHoldsImage(flash, image, &mismatch));
  EXPECT_EQ(mismatch, 0x5000u);
}

// Programs `image` (as loaded, with the signature at 0x4100) the way the tool does: erase,
// every chunk with the placeholder in the signature's place, then the signature alone.
void ProgramImage(SimBench& bench, const FirmwareImage& loaded, bool with_signature) {
  ASSERT_FALSE(bench.Exchange(SET_COMMAND, PID_BOOTLOADER, ErasePd(0x4000)).empty());
  FirmwareImage image = loaded;
  for (uint32_t i = 0; i < 4; ++i) {
    image.bytes[0x4100 + i] = FillPatternAt(0x4100 + i);
  }
  for (uint32_t a = 0x4000; a < 0x4200; a += 128) {
    const auto echo =
        bench.Exchange(SET_COMMAND, PID_BOOTLOADER, ProgramPd(a, &image.bytes[a], 128));
    ASSERT_EQ(echo.size(), 26u + 140u);
  }
  if (with_signature) {
    ASSERT_FALSE(
        bench.Exchange(SET_COMMAND, PID_BOOTLOADER, ProgramPd(0x4100, &loaded.bytes[0x4100], 4))
            .empty());
  }
}

FirmwareImage NewFirmware(const std::string& label) {
  FirmwareImage image;
  for (uint32_t a = 0x4000; a < 0x4200; ++a) {
    image.bytes[a] = static_cast<uint8_t>(a * 7);
    image.loaded[a] = 1;
  }
  const uint8_t magic[4] = {0x47, 0x4B, 0x4A, 0x41};
  std::memcpy(&image.bytes[0x4100], magic, 4);
  std::memset(&image.bytes[0x4110], 0, 32);
  std::memcpy(&image.bytes[0x4110], label.data(), label.size());
  image.loaded_count = 0x200;
  return image;
}

TEST(SimulatedBootloader, EraseProgramAndStartRunTheNewApplication) {
  SimBench bench;
  bench.Send(SET_COMMAND, PID_BOOTLOADER, {BOOT_SYNC, BOOT_ENTER});
  bench.clock.SleepMs(60);
  ASSERT_EQ(ControlByte(bench), kControlBootLoader);
  const FirmwareImage firmware = NewFirmware("Quillmont app 2.0");
  ProgramImage(bench, firmware, true);
  uint32_t mismatch = 0;
  EXPECT_TRUE(FlashHoldsImage(bench.fixture().flash(), firmware, &mismatch)) << mismatch;

  const auto started = bench.Exchange(SET_COMMAND, IDENTIFY_DEVICE, {0x01});
  ASSERT_EQ(started.size(), 26u);
  EXPECT_EQ(started[kOffsetCommandClass], SET_COMMAND_RESPONSE);
  bench.clock.SleepMs(50);
  EXPECT_EQ(ControlByte(bench), 0x00);
  const auto label = ParameterData(bench.Exchange(GET_COMMAND, SOFTWARE_VERSION_LABEL));
  EXPECT_EQ(std::string(label.begin(), label.end()), "Quillmont app 2.0");
}

TEST(SimulatedBootloader, UpdateCutShortBeforeTheSignatureStaysInTheBootloader) {
  SimBench bench(InBootloader());
  const FirmwareImage firmware = NewFirmware("Quillmont app 2.0");
  ProgramImage(bench, firmware, false);
  uint32_t mismatch = 0;
  EXPECT_FALSE(FlashHoldsImage(bench.fixture().flash(), firmware, &mismatch));
  EXPECT_EQ(mismatch, 0x4100u);
  // The placeholder left the signature's place erased.
  EXPECT_EQ(bench.fixture().flash().at(0x4100), 0xFF);
  EXPECT_FALSE(bench.Exchange(SET_COMMAND, IDENTIFY_DEVICE, {0x01}).empty());
  bench.clock.SleepMs(100);
  EXPECT_EQ(ControlByte(bench), kControlBootLoader);
  EXPECT_EQ(bench.fixture().stage(), FixtureStage::kBootloader);
}

// "Start program" is acknowledged in every case, but only an application whose signature was
// the last thing written, with no erase after it, starts; otherwise the fixture goes on
// answering as its bootloader.
TEST(SimulatedBootloader, StartsOnlyAnApplicationWhoseSignatureWasWrittenLast) {
  const FirmwareImage firmware = NewFirmware("Quillmont app 2.0");
  const uint8_t more[2] = {0x12, 0x34};
  struct Case {
    const char* what;
    std::vector<std::vector<uint8_t>> after;  // requests after the signature chunk
    bool with_signature;
    bool starts;
  };
  const Case cases[] = {
      {"signature last", {}, true, true},
      {"no signature", {}, false, false},
      {"erase after", {ErasePd(0x8000)}, true, false},
      {"program after", {ProgramPd(0x4180, more, 2)}, true, false},
      {"signature again",
       {ProgramPd(0x4180, more, 2), ProgramPd(0x4100, &firmware.bytes[0x4100], 4)},
       true,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimBench bench(InBootloader());
    ProgramImage(bench, firmware, c.with_signature);
    for (const auto& pd : c.after) {
      ASSERT_FALSE(bench.Exchange(SET_COMMAND, PID_BOOTLOADER, pd, kFixtureUid, 200).empty());
    }
    const auto ack = bench.Exchange(SET_COMMAND, IDENTIFY_DEVICE, {0x01});
    ASSERT_EQ(ack.size(), 26u);
    EXPECT_EQ(ack[kOffsetPortOrResponseType], RESPONSE_TYPE_ACK);
    bench.clock.SleepMs(60);
    EXPECT_EQ(ControlByte(bench), c.starts ? 0x00 : kControlBootLoader);
    const auto label = ParameterData(bench.Exchange(GET_COMMAND, SOFTWARE_VERSION_LABEL));
    EXPECT_EQ(std::string(label.begin(), label.end()),
              c.starts ? "Quillmont app 2.0" : "Quillmont Sim Bootloader 1.0");
  }

  // A low-start image carries its signature at 0x2000 (02 23 in its last two bytes) and its
  // label 0x10 after it.
  SimBench bench(InBootloader());
  ASSERT_FALSE(bench.Exchange(SET_COMMAND, PID_BOOTLOADER, ErasePd(0x2000)).empty());
  std::vector<uint8_t> code(0x40, 0x00);
  std::copy(kSignaturePlaceholder.begin(), kSignaturePlaceholder.end(), code.begin());
  const std::string text = "Low start 1.0";
  std::copy(text.begin(), text.end(), code.begin() + 0x10);
  ASSERT_FALSE(
      bench.Exchange(SET_COMMAND, PID_BOOTLOADER, ProgramPd(0x2000, code.data(), 0x40)).empty());
  const uint8_t low_start[4] = {0x02, 0x21, 0x02, 0x23};
  EXPECT_FALSE(
      bench.Exchange(SET_COMMAND, PID_BOOTLOADER, ProgramPd(0x2000, low_start, 4)).empty());
  EXPECT_FALSE(bench.Exchange(SET_COMMAND, IDENTIFY_DEVICE, {0x01}).empty());
  bench.clock.SleepMs(60);
  EXPECT_EQ(ControlByte(bench), 0x00);
  EXPECT_EQ(bench.fixture().ApplicationLabel(), text);
}

TEST(SimulatedBootloader, LowBootloaderJumpsIntoTheBootloaderOnIdentify) {
  FixtureConfig config;
  config.low_bootloader = true;
  SimBench bench(config);
  bench.Send(SET_COMMAND, PID_BOOTLOADER, {BOOT_SYNC, BOOT_ENTER});
  bench.clock.SleepMs(60);
  EXPECT_EQ(ControlByte(bench), kControlBootLoader | kControlLowBootLoader);
  // The low bootloader does not erase.
  bench.Send(SET_COMMAND, PID_BOOTLOADER, ErasePd(0x4000));
  bench.clock.SleepMs(100);
  EXPECT_EQ(bench.Waiting(), 0u);
  EXPECT_EQ(bench.fixture().flash().at(0x4100), 0x47);
  EXPECT_FALSE(bench.Exchange(SET_COMMAND, IDENTIFY_DEVICE, {0x01}).empty());
  bench.clock.SleepMs(60);
  EXPECT_EQ(ControlByte(bench), kControlBootLoader);
}

TEST(SimulatedBootloader, BusyFixtureIgnoresRequestsUntilTheEraseIsDone) {
  SimBench bench(InBootloader());
  bench.Send(SET_COMMAND, PID_BOOTLOADER, ErasePd(0x8000));
  bench.clock.SleepMs(10);
  bench.Send(DISCOVERY_COMMAND, DISC_UN_MUTE);
  bench.clock.SleepMs(100);
  EXPECT_EQ(bench.line.replies(0), 1u);
  EXPECT_EQ(ParameterData(bench.ReadFrame()), (std::vector<uint8_t>{0x55, 0xA1}));
  EXPECT_EQ(bench.Waiting(), 0u);
}

}  // namespace
}  // namespace quillmont::testing
