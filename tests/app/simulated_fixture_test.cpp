// SPDX-License-Identifier: Apache-2.0
// The window against the simulated line and fixture: the real timing of a DMX line, discovery
// collisions and an adapter pulled out and plugged in again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rdm/fixture_text.h"
#include "sim/simulated_line.h"
#include "support/window_harness.h"

namespace quillmont {
namespace {

using testing::WindowHarness;

struct SimParts {
  VirtualClock clock;
  SimulatedLine line{clock};
};

class SimulatedFixtureTest : public ::testing::Test, public SimParts, public WindowHarness {
 protected:
  SimulatedFixtureTest() : WindowHarness(line, clock) {
    adapter = line.AddAdapter();
    FixtureConfig config;
    config.dmx_start_address = 101;
    line.AddFixture(adapter, config);
  }
  SimulatedFixture& Fixture() { return line.fixture(adapter); }
  bool Connected() {
    return port.Text(kDmxAddressEdit) == "101" && !port.Text(kVersionLabel).empty();
  }

  int adapter = 0;
};

TEST_F(SimulatedFixtureTest, TheFirstConnectionFillsInTheDevice) {
  Init();
  ASSERT_TRUE(pacer.RunUntil([&] { return Connected(); }, 20));
  // Discovery on the sixth tick; each of the three replies it then waits for comes after its
  // break's NUL, which costs a tick of its own.
  EXPECT_LE(pacer.ticks_run(), 12);
  EXPECT_EQ(line.baud(adapter), 250000u);
  EXPECT_EQ(port.Text(kStatusLine), "Connected,  Device's Rdm_ID  =  4F 4C 12 34 56 78");
  EXPECT_EQ(port.Text(kModelLabel), "Quillmont Sim Spot");
  EXPECT_EQ(port.Text(kVersionLabel), "Quillmont demo app 1.0");
}

// A fixture's texts are data: Latin-1 letters, an ESC sequence, a C1 control (0x9B, a CSI to some
// terminals) and whatever follows a NUL. The terminal gets printable text, JSON every byte as
// UTF-8, the window's labels UTF-8 without control characters.
TEST_F(SimulatedFixtureTest, AFixturesTextsAreShownAsData) {
  static constexpr char kSent[] = "Ger\xE4t \x1B[31m\x9B\0\x1B[2J";
  const std::string sent(kSent, sizeof kSent - 1);
  EXPECT_EQ(TerminalText(sent, true), "Ger\xC3\xA4t \\x1B[31m\\x9B");
  EXPECT_EQ(TerminalText(sent, false), "Ger\\xE4t \\x1B[31m\\x9B");
  EXPECT_EQ(JsonText(sent), "Ger\xC3\xA4t \x1B[31m\xC2\x9B");
  EXPECT_EQ(WindowText(sent), TerminalText(sent, true));
  EXPECT_EQ(FixtureTextOf(std::vector<uint8_t>(300, 'x')).size(), kMaxFixtureText);
  // The first locale variable that is set decides.
  EXPECT_TRUE(TerminalTakesUtf8(nullptr, nullptr, "de_DE.UTF-8"));
  EXPECT_TRUE(TerminalTakesUtf8(nullptr, "", "C.utf8"));
  EXPECT_FALSE(TerminalTakesUtf8("C", nullptr, "en_US.UTF-8"));
  EXPECT_FALSE(TerminalTakesUtf8(nullptr, nullptr, nullptr));

  Fixture().config().model_description = "Ger\xE4t \x1B[31m";
  Fixture().InstallApplication("Temp\xE9rature\x07");
  Init();
  ASSERT_TRUE(pacer.RunUntil([&] { return Connected(); }, 20));
  EXPECT_EQ(port.Text(kModelLabel), "Ger\xC3\xA4t \\x1B[31m");
  EXPECT_EQ(port.Text(kVersionLabel), "Temp\xC3\xA9rature\\x07");
}

TEST_F(SimulatedFixtureTest, TwoFixturesCollideAndDiscoveryIsRetried) {
  FixtureConfig second;
  second.uid = {0x4F, 0x4C, 0x00, 0x00, 0xBE, 0xEF};
  line.AddFixture(adapter, second);
  Init();
  Ticks(6);
  EXPECT_EQ(port.Text(kStatusLine),
            "No RDM Device available. Only ONE device should be connected.");
  EXPECT_EQ(window.device_found, 0);
  Ticks(300);
  EXPECT_EQ(window.device_found, 0);
  Ticks(1);
  EXPECT_EQ(port.Text(kStatusLine),
            "No RDM Device available. Only ONE device should be connected.");
  EXPECT_EQ(port.Text(kUidEdit), "4F 4C 00 00 00 00");
}

TEST_F(SimulatedFixtureTest, PullingTheAdapterOutAndBackReconnects) {
  Init();
  ASSERT_TRUE(pacer.RunUntil([&] { return Connected(); }, 20));
  FaultPlan plan;
  plan.unplugs.push_back({50'000, 200'000});
  line.InstallFaults(adapter, plan);
  ASSERT_TRUE(pacer.RunUntil([&] { return window.link == nullptr; }, 20));
  EXPECT_EQ(port.Text(kStatusLine), "Not Connected.");
  EXPECT_EQ(port.Text(kModelLabel), "Quillmont Sim Spot");
  ASSERT_TRUE(pacer.RunUntil([&] { return window.device_found == 1; }, 40));
  EXPECT_EQ(port.Text(kStatusLine), "Connected,  Device's Rdm_ID  =  4F 4C 12 34 56 78");
  EXPECT_EQ(line.baud(adapter), 250000u) << "the rate is applied again on the new open";
}

TEST_F(SimulatedFixtureTest, IdentifyAndSetAddressAreAnswered) {
  Init();
  ASSERT_TRUE(pacer.RunUntil([&] { return Connected(); }, 20));
  window.OnIdentifyButton();
  Ticks(2);
  EXPECT_TRUE(Fixture().identifying());

  port.Type(kDmxAddressEdit, "37");
  const int beeps = port.beeps;
  window.OnSetAddressButton();
  Ticks(2);
  EXPECT_EQ(Fixture().dmx_start_address(), 37);
  EXPECT_EQ(port.beeps, beeps + 1) << "the SET acknowledgement beeps";

  window.OnRefreshButton();
  ASSERT_TRUE(pacer.RunUntil([&] { return port.Text(kDmxAddressEdit) == "37"; }, 5));

  window.OnStopIdentifyButton();
  Ticks(2);
  EXPECT_FALSE(Fixture().identifying());
}

}  // namespace
}  // namespace quillmont
