// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "drivers/backend_choice.h"
#include "link/clock.h"
#include "link/d2xx/d2xx_library_driver.h"
#include "link/d2xx/shared_library.h"
#include "link/line.h"

namespace quillmont::d2xx {
namespace {

constexpr const char* kMissing = "libquillmont-no-such-d2xx.so";

TEST(D2xxLibraryAbsent, SaysSoAndFailsEveryCallUntouched) {
  D2xxLibraryDriver driver(kMissing);
  EXPECT_FALSE(driver.available());
#if defined(_WIN32)
  EXPECT_EQ(driver.load_error(),
            "The FTDI D2XX library (libquillmont-no-such-d2xx.so) is not installed; "
            "install FTDI's D2XX driver, or use --driver serial --port COMn");
#else
  EXPECT_EQ(driver.load_error(),
            "The FTDI D2XX library (libquillmont-no-such-d2xx.so) is not installed; "
            "use --driver serial");
#endif

  uint32_t value = 77;
  EXPECT_NE(driver.FT_CreateDeviceInfoList(&value), FT_OK);
  EXPECT_EQ(value, 77u);  // a count the call cannot give is left as it was
  EXPECT_NE(driver.FT_GetLibraryVersion(&value), FT_OK);
  FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(0x1);
  EXPECT_NE(driver.FT_Open(0, &handle), FT_OK);
  int stranger = 0;
  for (FT_HANDLE h : {static_cast<FT_HANDLE>(nullptr), static_cast<FT_HANDLE>(&stranger)}) {
    const uint8_t frame[] = {0xCC};
    uint8_t buffer[1] = {0x5A};
    EXPECT_NE(driver.FT_SetBaudRate(h, 250000), FT_OK);
    EXPECT_NE(driver.FT_SetBreakOn(h), FT_OK);
    EXPECT_NE(driver.FT_SetBreakOff(h), FT_OK);
    EXPECT_NE(driver.FT_Write(h, frame, 1, &value), FT_OK);
    EXPECT_NE(driver.FT_GetStatus(h, &value, &value, &value), FT_OK);
    EXPECT_NE(driver.FT_Read(h, buffer, 1, &value), FT_OK);
    EXPECT_NE(driver.FT_GetModemStatus(h, &value), FT_OK);
    EXPECT_NE(driver.FT_Close(h), FT_OK);
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(buffer[0], 0x5A);
  }
}

#if defined(__linux__)
TEST(D2xxLibraryAbsent, ALibraryWithoutTheOperationsIsRefused) {
  D2xxLibraryDriver driver("libc.so.6");
  EXPECT_FALSE(driver.available());
  EXPECT_EQ(driver.load_error(),
            "The library libc.so.6 is not the FTDI D2XX library (it lacks "
            "FT_CreateDeviceInfoList)");
  uint32_t count = 5;
  EXPECT_NE(driver.FT_CreateDeviceInfoList(&count), FT_OK);
  EXPECT_EQ(count, 5u);
}
#endif

// The driver against a library with the vendor's entry points, loaded through dlopen.
class D2xxLibraryFake : public ::testing::Test {
 protected:
  D2xxLibraryFake() : probe_(QUILLMONT_FAKE_FTD2XX), driver_(QUILLMONT_FAKE_FTD2XX, &clock_) {}
  void SetUp() override {
    ASSERT_TRUE(probe_.loaded());
    ASSERT_TRUE(driver_.available()) << driver_.load_error();
    calls_ = reinterpret_cast<uint32_t (*)()>(probe_.Symbol("FakeFtd2xx_Calls"));
    written_ =
        reinterpret_cast<uint32_t (*)(uint8_t*, uint32_t)>(probe_.Symbol("FakeFtd2xx_Written"));
    receive_ =
        reinterpret_cast<void (*)(const uint8_t*, uint32_t)>(probe_.Symbol("FakeFtd2xx_Receive"));
    misbehave_ =
        reinterpret_cast<void (*)(uint32_t, uint32_t)>(probe_.Symbol("FakeFtd2xx_Misbehave"));
    baud_ = reinterpret_cast<uint32_t (*)()>(probe_.Symbol("FakeFtd2xx_Baud"));
    setup_ = reinterpret_cast<void (*)(uint8_t*)>(probe_.Symbol("FakeFtd2xx_Setup"));
    drain_ = reinterpret_cast<void (*)(uint32_t)>(probe_.Symbol("FakeFtd2xx_Drain"));
    breaks_ = reinterpret_cast<uint32_t (*)(uint32_t*)>(probe_.Symbol("FakeFtd2xx_Breaks"));
    log_ = reinterpret_cast<uint32_t (*)(char*, uint32_t)>(probe_.Symbol("FakeFtd2xx_Log"));
    chip_ = reinterpret_cast<void (*)(uint8_t, uint8_t, bool)>(probe_.Symbol("FakeFtd2xx_Chip"));
    ASSERT_TRUE(calls_ && written_ && receive_ && misbehave_ && baud_ && setup_ && drain_ &&
                breaks_ && log_ && chip_);
    misbehave_(0, 0);
    drain_(0xFFFFFFFF);
    chip_(1, 0, true);
  }
  std::string Log() {
    char text[64] = {};
    return std::string(text, log_(text, sizeof text));
  }

  SharedLibrary probe_;  // the same loaded library, for the test's own entry points
  VirtualClock clock_;
  D2xxLibraryDriver driver_;
  uint32_t (*calls_)() = nullptr;
  uint32_t (*written_)(uint8_t*, uint32_t) = nullptr;
  void (*receive_)(const uint8_t*, uint32_t) = nullptr;
  void (*misbehave_)(uint32_t, uint32_t) = nullptr;
  uint32_t (*baud_)() = nullptr;
  void (*setup_)(uint8_t*) = nullptr;
  void (*drain_)(uint32_t) = nullptr;
  uint32_t (*breaks_)(uint32_t*) = nullptr;
  uint32_t (*log_)(char*, uint32_t) = nullptr;
  void (*chip_)(uint8_t, uint8_t, bool) = nullptr;
};

TEST_F(D2xxLibraryFake, PassesEveryOperationThroughToTheLibrary) {
  uint32_t value = 0;
  ASSERT_EQ(driver_.FT_CreateDeviceInfoList(&value), FT_OK);
  EXPECT_EQ(value, 1u);
  ASSERT_EQ(driver_.FT_GetLibraryVersion(&value), FT_OK);
  EXPECT_EQ(value, 0x00010408u);
  FT_HANDLE handle = nullptr;
  EXPECT_EQ(driver_.FT_Open(1, &handle), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(driver_.open_error(), "FTDI adapter 1: no such device");
  ASSERT_EQ(driver_.FT_Open(0, &handle), FT_OK);
  ASSERT_NE(handle, nullptr);

  EXPECT_EQ(driver_.FT_SetBaudRate(handle, 250000), FT_OK);
  EXPECT_EQ(baud_(), 250000u);
  EXPECT_EQ(driver_.FT_SetBreakOn(handle), FT_OK);
  EXPECT_EQ(driver_.FT_SetBreakOff(handle), FT_OK);
  const uint8_t frame[] = {0xCC, 0x01, 0x18, 0x00, 0x11, 0x13};
  ASSERT_EQ(driver_.FT_Write(handle, frame, 6, &value), FT_OK);
  EXPECT_EQ(value, 6u);
  uint8_t seen[16] = {};
  ASSERT_EQ(written_(seen, 16), 6u);
  EXPECT_EQ(std::vector<uint8_t>(seen, seen + 6), std::vector<uint8_t>(frame, frame + 6));

  const uint8_t reply[] = {0xCC, 0x01, 0x0D, 0x0A};
  receive_(reply, 4);
  uint32_t rx = 0, tx = 9, events = 9;
  ASSERT_EQ(driver_.FT_GetStatus(handle, &rx, &tx, &events), FT_OK);
  EXPECT_EQ(rx, 4u);
  uint8_t got[4] = {};
  ASSERT_EQ(driver_.FT_Read(handle, got, 4, &value), FT_OK);
  EXPECT_EQ(value, 4u);
  EXPECT_EQ(std::vector<uint8_t>(got, got + 4), std::vector<uint8_t>(reply, reply + 4));
  EXPECT_EQ(driver_.FT_GetModemStatus(handle, &value), FT_OK);
  EXPECT_EQ(value, 0x4030u);
  EXPECT_EQ(driver_.FT_Close(handle), FT_OK);
}

TEST_F(D2xxLibraryFake, GuardsTheCallerAgainstHandlesAndCountsItCannotTrust) {
  FT_HANDLE handle = nullptr;
  ASSERT_EQ(driver_.FT_Open(0, &handle), FT_OK);

  // Handles the driver did not give out never reach the library.
  const uint32_t before = calls_();
  int stranger = 0;
  uint32_t value = 0;
  const uint8_t frame[] = {0xCC, 0x01};
  EXPECT_EQ(driver_.FT_Write(nullptr, frame, 2, &value), FT_INVALID_HANDLE);
  EXPECT_EQ(driver_.FT_Write(&stranger, frame, 2, &value), FT_INVALID_HANDLE);
  EXPECT_EQ(driver_.FT_GetModemStatus(&stranger, &value), FT_INVALID_HANDLE);
  EXPECT_EQ(calls_(), before);

  // A write the library reports as short is not a success.
  misbehave_(1, 0);
  EXPECT_EQ(driver_.FT_Write(handle, frame, 2, &value), FT_IO_ERROR);
  EXPECT_EQ(value, 1u);

  // A read never reports more than the caller's buffer holds.
  misbehave_(0, 100);
  const uint8_t reply[] = {1, 2, 3};
  receive_(reply, 3);
  uint8_t got[3] = {};
  ASSERT_EQ(driver_.FT_Read(handle, got, 3, &value), FT_OK);
  EXPECT_EQ(value, 3u);

  // Closed handles are forgotten.
  ASSERT_EQ(driver_.FT_Close(handle), FT_OK);
  const uint32_t after_close = calls_();
  EXPECT_EQ(driver_.FT_Close(handle), FT_INVALID_HANDLE);
  EXPECT_EQ(driver_.FT_SetBreakOn(handle), FT_INVALID_HANDLE);
  EXPECT_EQ(calls_(), after_close);
}

TEST_F(D2xxLibraryFake, OpeningSetsTheChipUpWhateverAProgramBeforeLeftIt) {
  // Bit mode reset, no flow control, 8N2, both queues purged, time-outs, a 1 ms latency timer,
  // the receive event.
  FT_HANDLE handle = nullptr;
  ASSERT_EQ(driver_.FT_Open(0, &handle), FT_OK);
  EXPECT_EQ(Log(), "BFDPTLE");
  uint8_t setup[4] = {};
  setup_(setup);
  EXPECT_EQ(std::vector<uint8_t>(setup, setup + 4), (std::vector<uint8_t>{8, 2, 0, 1}));
  EXPECT_EQ(driver_.Facts(handle).latency_timer_ms, 1u);
  EXPECT_TRUE(driver_.Facts(handle).notes.empty());
  // Bytes in: the wait on the library's event returns at once.
  const uint8_t reply[] = {0xCC};
  receive_(reply, 1);
  EXPECT_EQ(driver_.WaitReadable(handle, 5'000'000), FT_OK);
  ASSERT_EQ(driver_.FT_Close(handle), FT_OK);

  // A chip that refuses 1 ms gets 2; one that keeps 16 ms is told.
  chip_(2, 0, true);
  ASSERT_EQ(driver_.FT_Open(0, &handle), FT_OK);
  EXPECT_EQ(driver_.Facts(handle).latency_timer_ms, 2u);
  ASSERT_EQ(driver_.FT_Close(handle), FT_OK);
  chip_(1, 16, true);
  ASSERT_EQ(driver_.FT_Open(0, &handle), FT_OK);
  const AdapterFacts facts = driver_.Facts(handle);
  ASSERT_EQ(facts.notes.size(), 1u);
  EXPECT_EQ(facts.notes[0],
            "FTDI adapter 0: the latency timer stays at 16 ms, so every reply comes late (the "
            "chip refused 1 ms)");
  EXPECT_EQ(driver_.FT_Close(handle), FT_OK);
}

TEST_F(D2xxLibraryFake, ABreakWaitsForTheChipsTransmitterAndAStuckChipIsAnErrorNotAHang) {
  FT_HANDLE handle = nullptr;
  ASSERT_EQ(driver_.FT_Open(0, &handle), FT_OK);
  ASSERT_EQ(driver_.FT_SetBaudRate(handle, 250000), FT_OK);

  // Two requests in one tick: the second break waits until the chip has sent the first frame
  // (it lets 4 bytes go per look here: 22, 18, ... 2 left, then none) and says so.
  drain_(4);
  const uint8_t frame[26] = {0xCC, 0x01, 0x18};
  uint32_t value = 0;
  ASSERT_EQ(driver_.FT_Write(handle, frame, 26, &value), FT_OK);
  uint64_t slept = clock_.slept_micros();
  ASSERT_EQ(driver_.FT_SetBreakOn(handle), FT_OK);
  uint32_t queued = 99;
  EXPECT_EQ(breaks_(&queued), 1u);
  EXPECT_EQ(queued, 0u);
  EXPECT_EQ(clock_.slept_micros() - slept, 6'000u);

  // A chip that never tells its transmitter is empty: the frame's time on the wire (1144 us)
  // and a millisecond for USB, in looks of 200 us.
  drain_(0xFFFFFFFF);
  chip_(1, 0, false);
  ASSERT_EQ(driver_.FT_Write(handle, frame, 26, &value), FT_OK);
  slept = clock_.slept_micros();
  ASSERT_EQ(driver_.FT_SetBreakOn(handle), FT_OK);
  EXPECT_EQ(clock_.slept_micros() - slept, 2'200u);

  // A chip that stops sending: no break over the frame, and no hang. Through the line access
  // it is a break the adapter cannot send, after the frame's time plus twice it plus 20 ms.
  drain_(0);
  ASSERT_EQ(driver_.FT_Write(handle, frame, 26, &value), FT_OK);
  slept = clock_.slept_micros();
  std::ostringstream diag;
  LineIo io{driver_, clock_, diag};
  LinkHandle link = handle;
  const Status sent = SendBreak(io, link);
  ASSERT_FALSE(sent);
  EXPECT_EQ(sent.error().message, "the adapter cannot send a break (status 4)");
  EXPECT_EQ(breaks_(&queued), 0u);
  EXPECT_EQ(clock_.slept_micros() - slept, 1'144u + 20'000u + 2 * 1'144u);
  EXPECT_EQ(Log().back(), 'p') << "what the stuck chip held is dropped";
  EXPECT_EQ(driver_.FT_Close(handle), FT_OK);
}

TEST(D2xxLibraryRts, RtsIsRaisedForTheBreakAndLoweredOnceTheFrameIsOut) {
  SharedLibrary probe(QUILLMONT_FAKE_FTD2XX);
  auto log = reinterpret_cast<uint32_t (*)(char*, uint32_t)>(probe.Symbol("FakeFtd2xx_Log"));
  auto drain = reinterpret_cast<void (*)(uint32_t)>(probe.Symbol("FakeFtd2xx_Drain"));
  ASSERT_TRUE(log && drain);
  drain(0xFFFFFFFF);
  VirtualClock clock;
  D2xxLibraryDriver driver(QUILLMONT_FAKE_FTD2XX, &clock, D2xxOptions{true});
  FT_HANDLE handle = nullptr;
  ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK);
  const uint8_t frame[3] = {0xCC, 0x01, 0x18};
  uint32_t written = 0;
  ASSERT_EQ(driver.FT_SetBreakOn(handle), FT_OK);
  ASSERT_EQ(driver.FT_SetBreakOff(handle), FT_OK);
  ASSERT_EQ(driver.FT_Write(handle, frame, 3, &written), FT_OK);
  char text[64] = {};
  EXPECT_EQ(std::string(text, log(text, sizeof text)), "BFDPTLrERKWr");
  EXPECT_TRUE(driver.Facts(handle).rts_direction);
  EXPECT_EQ(driver.FT_Close(handle), FT_OK);
}

#if defined(__linux__)
TEST(BackendChoice, MakesTheNamedDriverOrSaysWhyNot) {
  EXPECT_EQ(DefaultBackendName(), "serial");

  auto serial = MakeBackend("serial", {"/dev/ttyUSB0"});
  ASSERT_TRUE(serial);
  EXPECT_NE(*serial, nullptr);
  auto chosen = MakeBackend("", {});
  ASSERT_TRUE(chosen);
  EXPECT_NE(*chosen, nullptr);

  auto unknown = MakeBackend("ftdi", {});
  ASSERT_FALSE(unknown);
  EXPECT_EQ(unknown.error().message, "Unknown driver 'ftdi'; choose serial, d2xx or usbpro");

  auto with_ports = MakeBackend("d2xx", {"/dev/ttyUSB0"});
  ASSERT_FALSE(with_ports);
  EXPECT_EQ(with_ports.error().message,
            "--port names serial devices; the d2xx driver numbers its adapters itself");

  // On a machine with the vendor library installed this gives a driver; without, the reason.
  auto d2xx = MakeBackend("d2xx", {});
  if (!d2xx) {
    EXPECT_EQ(d2xx.error().message,
              "The FTDI D2XX library (libftd2xx.so) is not installed; use --driver serial");
  } else {
    EXPECT_NE(*d2xx, nullptr);
  }
}
#endif

}  // namespace
}  // namespace quillmont::d2xx
