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
  auto made = MakeDriver(options);
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
  EXPECT_FALSE(CheckDriverOptions(contradicting));
}

}  // namespace
}  // namespace quillmont
