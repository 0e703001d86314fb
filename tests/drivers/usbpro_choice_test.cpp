// SPDX-License-Identifier: Apache-2.0
// --simulate --driver usbpro: the simulated widgets in front of the simulated line, run through
// the same line access and full discovery as a real widget.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "drivers/driver_choice.h"
#include "link/line.h"
#include "rdm/full_discovery.h"
#include "sim/simulated_line.h"

namespace quillmont {
namespace {

TEST(UsbProChoiceTest, FullDiscoveryFindsEveryFixtureBehindTheSimulatedWidget) {
  DriverOptions options;
  options.simulate = true;
  options.driver = "usbpro";
  options.sim.fast = true;
  options.sim.fixtures = 3;
  auto made = MakeDriver(*ParseDriverOptions(options));
  ASSERT_TRUE(made) << made.error().message;
  DriverSet& set = **made;
  EXPECT_EQ(set.AdapterNames(),
            std::vector<std::string>{"simulated widget 0 (3 fixtures): DMX USB Pro-style widget, "
                                     "serial 00190000, firmware 1.44"});

  std::ostringstream diag;
  LineIo io{set.driver(), set.clock(), diag};
  LinkHandle link = nullptr;
  ASSERT_TRUE(OpenLink(io, link, 0));
  EXPECT_TRUE(SetLinkBaud(io, link, 250000));
  EXPECT_FALSE(SetLinkBaud(io, link, 115200));  // a widget's line has one rate
  const FullDiscoveryResult result = DiscoverAllDevices(io, link);
  std::vector<RdmUid> expected = {SimFixtureUid(0, 0), SimFixtureUid(0, 1), SimFixtureUid(0, 2)};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(result.found, expected);
  EXPECT_GT(result.collisions, 0);  // the three answers met on the widget's line
  EXPECT_TRUE(result.unresponsive.empty());
  // Every fixture was reached through the widget, none through the line's own adapter.
  EXPECT_EQ(set.simulated_line()->replies(0), 0u);
  EXPECT_TRUE(set.simulated_line()->fixture(0, 2).muted());

  DriverOptions contradicting = options;
  contradicting.driver = "d2xx";
  EXPECT_FALSE(ParseDriverOptions(contradicting));
}

TEST(UsbProChoiceTest, ACloneThatHandsOverAConsolesDmxStillDiscoversAtItsHostRate) {
  // The clone reports colliding answers with an error status and talks at 115200 baud; a
  // console's DMX comes through it every 23 ms.
  DriverOptions options;
  options.simulate = true;
  options.sim.adapter = "widget-clone";
  options.sim.fast = true;
  options.sim.fixtures = 3;
  options.sim.faults = {"console-dmx"};
  std::ostringstream notices;
  options.notices = &notices;
  auto refused = MakeDriver(*ParseDriverOptions(options));
  ASSERT_TRUE(refused);
  std::ostringstream diag;
  LineIo io{(*refused)->driver(), (*refused)->clock(), diag};
  LinkHandle link = nullptr;
  EXPECT_FALSE(OpenLink(io, link, 0)) << "nothing answers at the port's own rate";
  EXPECT_EQ(notices.str(),
            "simulated widget 0: no DMX USB Pro-style widget answers (no serial number within "
            "500 ms); a clone that talks at a rate of its own needs --widget-baud\n");

  options.widget_baud = 115200;
  auto made = MakeDriver(*ParseDriverOptions(options));
  ASSERT_TRUE(made) << made.error().message;
  LineIo clone_io{(*made)->driver(), (*made)->clock(), diag};
  ASSERT_TRUE(OpenLink(clone_io, link, 0));
  const FullDiscoveryResult result = DiscoverAllDevices(clone_io, link);
  EXPECT_EQ(result.found.size(), 3u);
  EXPECT_GT(result.collisions, 0);
  EXPECT_TRUE(result.unresponsive.empty());
  EXPECT_GT((*made)->clock().NowMicros(), 23'000u * 10) << "long enough for DMX to come";

  options.sim.adapter = "ftdi";
  options.driver = "usbpro";
  EXPECT_FALSE(ParseDriverOptions(options)) << "a plain adapter is no widget";
}

}  // namespace
}  // namespace quillmont
