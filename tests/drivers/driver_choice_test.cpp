// SPDX-License-Identifier: Apache-2.0
#include "drivers/driver_choice.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "sim/simulated_line.h"

namespace quillmont {
namespace {

DriverOptions Sim() {
  DriverOptions options;
  options.simulate = true;
  options.sim.fast = true;
  return options;
}

TEST(DriverChoiceTest, TheSimulatorBuildsItsAdaptersFixturesAndClock) {
  DriverOptions options = Sim();
  options.sim.adapters = 2;
  options.sim.fixtures = 3;
  options.sim.version_label = "App 9";
  auto fast = MakeDriver(*ParseDriverOptions(options));
  ASSERT_TRUE(fast) << fast.error().message;
  SimulatedLine* line = (*fast)->simulated_line();
  ASSERT_NE(line, nullptr);
  EXPECT_NE((*fast)->virtual_clock(), nullptr);
  ASSERT_EQ(line->adapter_count(), 2);
  EXPECT_EQ(line->fixture_count(1), 3);
  EXPECT_EQ(line->fixture(1, 2).config().uid, SimFixtureUid(1, 2));
  EXPECT_EQ(line->fixture(0, 0).ApplicationLabel(), "App 9");

  options.sim.fast = false;
  auto real_time = MakeDriver(*ParseDriverOptions(options));
  ASSERT_TRUE(real_time);
  EXPECT_EQ((*real_time)->virtual_clock(), nullptr);
}

TEST(DriverChoiceTest, SimulatedUidsAreDistinctAndTheFirstIsTheFixtureDefault) {
  EXPECT_EQ(SimFixtureUid(0, 0), FixtureConfig{}.uid);
  std::set<RdmUid> seen;
  for (int a = 0; a < kMaxSimAdapters; ++a) {
    for (int i = 0; i < kMaxSimFixtures; ++i) {
      seen.insert(SimFixtureUid(a, i));
    }
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kMaxSimAdapters * kMaxSimFixtures));
}

TEST(DriverChoiceTest, OneAdapterOfTheChoiceIsAdapterZeroOfItsOwnDriver) {
  DriverOptions options = Sim();
  options.sim.adapters = 3;
  options.sim.faults = {"drop=1", "2:second-fixture"};
  auto second = MakeAdapterDriver(*ParseDriverOptions(options), 2);
  ASSERT_TRUE(second);
  SimulatedLine& line = *(*second)->simulated_line();
  ASSERT_EQ(line.adapter_count(), 1);
  // Adapter 2's fixture, with adapter 2's faults only.
  EXPECT_EQ(line.fixture(0, 0).config().uid, SimFixtureUid(2, 0));
  EXPECT_EQ(line.fixture_count(0), 2);
  auto first = MakeAdapterDriver(*ParseDriverOptions(options), 0);
  ASSERT_TRUE(first);
  EXPECT_EQ((*first)->simulated_line()->fixture_count(0), 1);
  EXPECT_EQ((*second)->AdapterNames(),
            std::vector<std::string>{"simulated adapter 2 (2 fixtures)"});
}

TEST(DriverChoiceTest, UnsoundOptionsAreRefusedWithAReason) {
  const auto error = [](const std::function<void(DriverOptions&)>& change) {
    DriverOptions options = Sim();
    change(options);
    const Result<DriverConfig> checked = ParseDriverOptions(options);
    return checked ? std::string() : checked.error().message;
  };
  EXPECT_EQ(error([](DriverOptions&) {}), "");
  EXPECT_NE(error([](DriverOptions& o) { o.driver = "d2xx"; }), "");
  EXPECT_NE(error([](DriverOptions& o) { o.ports = {"/dev/ttyUSB0"}; }), "");
  EXPECT_NE(error([](DriverOptions& o) { o.sim.fixtures = kMaxSimFixtures + 1; }), "");
  EXPECT_NE(error([](DriverOptions& o) { o.sim.adapters = 0; }), "");
  EXPECT_NE(error([](DriverOptions& o) { o.sim.version_label = std::string(33, 'x'); }), "");
  EXPECT_NE(error([](DriverOptions& o) { o.sim.faults = {"1:drop=1"}; }), "");  // one adapter
  EXPECT_NE(error([](DriverOptions& o) { o.sim.faults = {"drop=x"}; }), "");
  EXPECT_NE(error([](DriverOptions& o) { o.sim.faults = {"99999999999:drop=1"}; }), "");
  DriverOptions real;
  real.driver = "usb";
  EXPECT_FALSE(ParseDriverOptions(real));
}

}  // namespace
}  // namespace quillmont
