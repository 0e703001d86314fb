// SPDX-License-Identifier: Apache-2.0
// A line of simulated adapters as the station sees it, on a virtual clock: what the programs'
// own line set is for the driver they chose, for the windows' tests. Any driver in front of the
// simulated line (one that records or holds writes) may stand in for it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/clock.h"
#include "station/line_set.h"

namespace quillmont::testing {

class SimulatedLineSet final : public LineSet {
 public:
  SimulatedLineSet(D2xxDriver& driver, VirtualClock& clock) : driver_(driver), clock_(clock) {}
  D2xxDriver& driver() override { return driver_; }
  Clock& clock() override { return clock_; }
  VirtualClock* virtual_clock() override { return &clock_; }
  bool simulated() override { return true; }
  std::string OpenAdapterName(int index, FT_HANDLE) override {
    return "simulated adapter " + std::to_string(index);
  }
  Result<std::optional<uint32_t>> CompareFixtureFlash(const RdmUid&,
                                                      const FirmwareImage&) override {
    return Error{"not compared here"};
  }

 private:
  D2xxDriver& driver_;
  VirtualClock& clock_;
};

}  // namespace quillmont::testing
