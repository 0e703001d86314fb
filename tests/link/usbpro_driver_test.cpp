// SPDX-License-Identifier: Apache-2.0
// The widget driver against a scripted widget port: what goes out for each call, byte for byte,
// what the reader gets from the widget's messages, and how a silent, garbling or vanished widget
// ends within a bounded time.
#include "link/usbpro/usbpro_driver.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "link/line.h"

namespace quillmont::usbpro {
namespace {

using Bytes = std::vector<uint8_t>;

// The widget's USB serial port: records what the host writes, hands over what the script put in,
// and answers the serial number and parameter questions while `answers` is set.
class ScriptedPort final : public D2xxDriver {
 public:
  Bytes written;
  std::deque<uint8_t> to_host;
  bool answers = true;
  bool present = true;
  uint32_t baud = 0;

  void Give(const Bytes& bytes) { to_host.insert(to_host.end(), bytes.begin(), bytes.end()); }

  FT_STATUS FT_CreateDeviceInfoList(uint32_t* count) override {
    *count = 1;
    return FT_OK;
  }
  FT_STATUS FT_GetLibraryVersion(uint32_t* version) override {
    *version = 0x10000;
    return FT_OK;
  }
  FT_STATUS FT_Open(int index, FT_HANDLE* handle) override {
    *handle = index == 0 ? this : nullptr;
    return index == 0 ? FT_OK : FT_DEVICE_NOT_FOUND;
  }
  FT_STATUS FT_SetBaudRate(FT_HANDLE, uint32_t rate) override {
    baud = rate;
    return FT_OK;
  }
  FT_STATUS FT_SetBreakOn(FT_HANDLE) override { return FT_OK; }
  FT_STATUS FT_SetBreakOff(FT_HANDLE) override { return FT_OK; }
  FT_STATUS FT_Write(FT_HANDLE, const void* bytes, uint32_t count, uint32_t* done) override {
    const auto* b = static_cast<const uint8_t*>(bytes);
    written.insert(written.end(), b, b + count);
    *done = count;
    if (answers && count == 5 && b[1] == kLabelGetSerial) {
      Give({0x7E, kLabelGetSerial, 4, 0, 0x78, 0x56, 0x34, 0x12, 0xE7});
    }
    if (answers && b[1] == kLabelGetParameters) {
      Give({0x7E, kLabelGetParameters, 5, 0, 44, 1, 9, 1, 40, 0xE7});
    }
    return FT_OK;
  }
  FT_STATUS FT_GetStatus(FT_HANDLE, uint32_t* rx, uint32_t*, uint32_t*) override {
    *rx = static_cast<uint32_t>(to_host.size());
    return present ? FT_OK : FT_IO_ERROR;
  }
  FT_STATUS FT_Read(FT_HANDLE, void* buffer, uint32_t count, uint32_t* got) override {
    auto* out = static_cast<uint8_t*>(buffer);
    *got = 0;
    while (*got < count && !to_host.empty()) {
      out[(*got)++] = to_host.front();
      to_host.pop_front();
    }
    return FT_OK;
  }
  FT_STATUS FT_GetModemStatus(FT_HANDLE, uint32_t*) override {
    return present ? FT_OK : FT_IO_ERROR;
  }
  FT_STATUS FT_Close(FT_HANDLE) override { return FT_OK; }
};

// GET DEVICE_MODEL_DESCRIPTION to 4F4C:12345678 and DISC_UNIQUE_BRANCH over the whole range,
// as the core builds them (checksums not checked by the driver).
const Bytes kGet = {0xCC, 0x01, 0x18, 0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78, 0x7F, 0xF0, 0x00, 0x00,
                    0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x20, 0x00, 0x80, 0x00, 0x05, 0x0E};
const Bytes kDub = {0xCC, 0x01, 0x24, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0xF0, 0x00, 0x00,
                    0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0x01, 0x0C, 0x00, 0x00,
                    0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0xFE};

struct Rig {
  VirtualClock clock;
  ScriptedPort* port = nullptr;
  std::unique_ptr<UsbProDriver> driver;
  FT_HANDLE handle = nullptr;

  Rig() {
    auto owned = std::make_unique<ScriptedPort>();
    port = owned.get();
    UsbProOptions options;
    options.port_name = [](int) { return std::string("/dev/ttyUSB0"); };
    driver = std::make_unique<UsbProDriver>(std::move(owned), &clock, options);
  }
  FT_STATUS Open() { return driver->FT_Open(0, &handle); }
  FT_STATUS SendAfterBreak(const Bytes& frame) {
    driver->FT_SetBreakOn(handle);
    driver->FT_SetBreakOff(handle);
    uint32_t written = 0;
    return driver->FT_Write(handle, frame.data(), static_cast<uint32_t>(frame.size()), &written);
  }
  Bytes ReadAll() {
    uint32_t waiting = 0;
    EXPECT_EQ(driver->FT_GetStatus(handle, &waiting, nullptr, nullptr), FT_OK);
    Bytes out(waiting);
    uint32_t got = 0;
    driver->FT_Read(handle, out.data(), waiting, &got);
    out.resize(got);
    return out;
  }
};

Bytes Message(uint8_t label, const Bytes& data) {
  return EncodeMessage(label, data);
}

TEST(WidgetMessageTest, TheParserTakesWholeMessagesAndDropsWhatIsMalformed) {
  Bytes stream = {0x00, 0x41};  // 2 stray bytes
  const Bytes good = Message(kLabelReceivedData, {0x00, 0xCC, 0x01});
  EXPECT_EQ(good, (Bytes{0x7E, 0x05, 0x03, 0x00, 0x00, 0xCC, 0x01, 0xE7}));
  stream.insert(stream.end(), good.begin(), good.end());
  stream.insert(stream.end(), {0x7E, 0x05, 0x01, 0x00, 0x00, 0x00});  // wrong end byte
  stream.insert(stream.end(), {0x7E, 0x05, 0x59, 0x02});              // 601 bytes: too long
  stream.insert(stream.end(), good.begin(), good.end());
  std::vector<Bytes> taken;
  MessageParser parser;
  // Byte by byte, so that every message is split across feeds.
  for (uint8_t byte : stream) {
    parser.Feed(&byte, 1, [&](uint8_t label, std::span<const uint8_t> data) {
      EXPECT_EQ(label, kLabelReceivedData);
      taken.emplace_back(data.begin(), data.end());
    });
  }
  EXPECT_EQ(taken, (std::vector<Bytes>{{0x00, 0xCC, 0x01}, {0x00, 0xCC, 0x01}}));
  EXPECT_EQ(parser.stray_bytes(), 2u);
  EXPECT_EQ(parser.bad_ends(), 1u);
  EXPECT_EQ(parser.too_long(), 1u);
  EXPECT_TRUE(EncodeMessage(kLabelSendRdm, Bytes(601)).empty());
  EXPECT_EQ(EncodeMessage(kLabelSendRdm, Bytes(600)).size(), 605u);
}

TEST(UsbProDriverTest, FramesGoOutAsLabelSevenOrElevenAndRepliesComeBackWithoutANul) {
  Rig rig;
  ASSERT_EQ(rig.Open(), FT_OK);
  // The open asked for the serial number and the parameters.
  EXPECT_EQ(rig.port->written, (Bytes{0x7E, 10, 0, 0, 0xE7, 0x7E, 3, 2, 0, 0, 0, 0xE7}));
  ASSERT_NE(rig.driver->info(rig.handle), nullptr);
  EXPECT_EQ(rig.driver->info(rig.handle)->Describe(), "serial 12345678, firmware 1.44");
  EXPECT_EQ(rig.driver->FT_SetBaudRate(rig.handle, 250000), FT_OK);
  EXPECT_EQ(rig.driver->FT_SetBaudRate(rig.handle, 115200), FT_INVALID_BAUD_RATE);

  // Without a break nothing goes out.
  rig.port->written.clear();
  uint32_t written = 0;
  EXPECT_NE(rig.driver->FT_Write(rig.handle, kGet.data(), 26, &written), FT_OK);
  EXPECT_TRUE(rig.port->written.empty());

  ASSERT_EQ(rig.SendAfterBreak(kGet), FT_OK);
  EXPECT_EQ(rig.port->written, Message(kLabelSendRdm, kGet));
  rig.port->written.clear();
  ASSERT_EQ(rig.SendAfterBreak(kDub), FT_OK);
  EXPECT_EQ(rig.port->written, Message(kLabelSendRdmDiscovery, kDub));

  // Label 12: nothing to read. Label 5 with a bad status: dropped. Label 5: the bytes from the
  // start code on.
  rig.port->Give(Message(kLabelDiscoveryTimeout, {}));
  rig.port->Give(Message(kLabelReceivedData, {0x02, 0xCC, 0x01}));
  EXPECT_TRUE(rig.ReadAll().empty());
  EXPECT_EQ(rig.driver->dropped(), 1u);
  rig.port->Give(Message(kLabelReceivedData, {0x00, 0xCC, 0x01, 0x18}));
  EXPECT_EQ(rig.ReadAll(), (Bytes{0xCC, 0x01, 0x18}));
}

TEST(UsbProDriverTest, APortWithoutAWidgetDoesNotOpen) {
  Rig rig;
  rig.port->answers = false;
  EXPECT_EQ(rig.Open(), FT_DEVICE_NOT_OPENED);
  EXPECT_EQ(rig.handle, nullptr);
  EXPECT_EQ(rig.driver->open_error(),
            "/dev/ttyUSB0: no DMX USB Pro-style widget answers (no serial number within 500 ms); "
            "a clone that talks at a rate of its own needs --widget-baud");
  // It waited its 500 ms, in polls, and no longer.
  EXPECT_EQ(rig.clock.NowMicros(), 500'000u);
}

TEST(UsbProDriverTest, AWidgetThatStopsAnsweringOrOnlyGarblesIsGoneWithinTwoSilences) {
  for (const bool garbles : {false, true}) {
    SCOPED_TRACE(garbles ? "garbles" : "silent");
    Rig rig;
    ASSERT_EQ(rig.Open(), FT_OK);
    rig.port->answers = false;
    uint32_t modem = 0;
    int ticks = 0;
    while (rig.driver->FT_GetModemStatus(rig.handle, &modem) == FT_OK && ticks < 1000) {
      if (garbles) {
        rig.port->Give({0x7E, 0x05, 0x02, 0x00, 0x00, 0xCC, 0x00});  // wrong end byte
      }
      rig.clock.SleepMs(10);
      ++ticks;
    }
    // Quiet for more than a second (101 polls of 10 ms), then the serial number question,
    // unanswered for more than a second (101 more): the 203rd look finds the widget gone.
    EXPECT_EQ(ticks, 202);
    const std::string why = rig.driver->link_error(rig.handle);
    EXPECT_NE(why.find("/dev/ttyUSB0: the widget stopped answering (no answer to a serial number "
                       "request within 1000 ms"),
              std::string::npos)
        << why;
    EXPECT_EQ(why.find("malformed") != std::string::npos, garbles) << why;
    EXPECT_EQ(rig.driver->FT_GetStatus(rig.handle, nullptr, nullptr, nullptr), FT_IO_ERROR);
  }
}

TEST(UsbProDriverTest, AnUnansweredDiscoveryIsNoLostWidgetButAnUnpluggedOneIsGoneAtOnce) {
  for (const bool answers_probe : {true, false}) {
    Rig rig;
    ASSERT_EQ(rig.Open(), FT_OK);
    ASSERT_EQ(rig.SendAfterBreak(kDub), FT_OK);  // nothing ever comes back for it
    rig.port->answers = answers_probe;
    rig.clock.SleepMs(1001);
    EXPECT_EQ(rig.driver->FT_GetStatus(rig.handle, nullptr, nullptr, nullptr), FT_OK);
    EXPECT_EQ(rig.port->written.back(), kEndOfMessage);  // it was asked for its serial number
    rig.clock.SleepMs(1001);
    EXPECT_EQ(rig.driver->FT_GetStatus(rig.handle, nullptr, nullptr, nullptr),
              answers_probe ? FT_OK : FT_IO_ERROR);
  }

  Rig pulled;
  ASSERT_EQ(pulled.Open(), FT_OK);
  pulled.port->present = false;
  uint32_t modem = 0;
  EXPECT_EQ(pulled.driver->FT_GetModemStatus(pulled.handle, &modem), FT_IO_ERROR);
  EXPECT_EQ(pulled.driver->link_error(pulled.handle), "/dev/ttyUSB0: the widget is gone");
}

TEST(UsbProDriverTest, OneRequestIsOnTheLineUntilLabelFiveOrTwelveOrItsWaitIsOver) {
  Rig rig;
  ASSERT_EQ(rig.Open(), FT_OK);
  const uint64_t start = rig.clock.NowMicros();
  ASSERT_EQ(rig.SendAfterBreak(kGet), FT_OK);
  ASSERT_EQ(rig.SendAfterBreak(kGet), FT_OK);  // nothing answered the first: its 40 ms wait
  EXPECT_EQ(rig.clock.NowMicros() - start, 40'000u);
  rig.port->Give(Message(kLabelDiscoveryTimeout, {}));
  ASSERT_EQ(rig.SendAfterBreak(kGet), FT_OK);  // label 12 ended the second's wait
  rig.port->Give(Message(kLabelReceivedData, {0x00, 0xCC, 0x01, 0x18}));
  ASSERT_EQ(rig.SendAfterBreak(kGet), FT_OK);  // label 5 the third's
  EXPECT_EQ(rig.clock.NowMicros() - start, 40'000u);
  EXPECT_EQ(rig.ReadAll(), (Bytes{0xCC, 0x01, 0x18}));
}

TEST(UsbProDriverTest, AConsolesDmxIsPassedOverAndAnErroredDiscoveryAnswerIsGarbled) {
  Rig rig;
  ASSERT_EQ(rig.Open(), FT_OK);
  Bytes dmx(2 + 512, 0x40);
  dmx[0] = 0x00;  // status
  dmx[1] = 0x00;  // DMX's start code
  rig.port->Give(Message(kLabelReceivedData, dmx));
  rig.port->Give(Message(kLabelReceivedData, {0x00, 0x17, 0x01}));  // another start code
  EXPECT_TRUE(rig.ReadAll().empty());
  EXPECT_EQ(rig.driver->passed_over(rig.handle), 2u);

  // While a discovery request waits, its answer comes whatever it begins with; one the widget
  // caught with errors reaches the reader as it came, a NUL when it holds nothing, but DMX
  // never does.
  ASSERT_EQ(rig.SendAfterBreak(kDub), FT_OK);
  rig.port->Give(Message(kLabelReceivedData, dmx));
  rig.port->Give(Message(kLabelReceivedData, {0x02, 0xFE, 0xAA, 0x55}));
  EXPECT_EQ(rig.ReadAll(), (Bytes{0xFE, 0xAA, 0x55}));
  ASSERT_EQ(rig.SendAfterBreak(kDub), FT_OK);
  rig.port->Give(Message(kLabelReceivedData, {0x01}));
  EXPECT_EQ(rig.ReadAll(), (Bytes{0x00}));
  EXPECT_EQ(rig.driver->passed_over(rig.handle), 3u);
}

TEST(UsbProDriverTest, ACloneIsOpenedAtTheHostRateItNeeds) {
  Rig rig;
  UsbProOptions options;
  options.host_baud = 115200;
  auto owned = std::make_unique<ScriptedPort>();
  ScriptedPort* port = owned.get();
  UsbProDriver driver(std::move(owned), &rig.clock, options);
  FT_HANDLE handle = nullptr;
  ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK);
  EXPECT_EQ(port->baud, 115200u);
}

}  // namespace
}  // namespace quillmont::usbpro
