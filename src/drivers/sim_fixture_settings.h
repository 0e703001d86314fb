// SPDX-License-Identifier: Apache-2.0
// --sim-fixture: how one simulated fixture differs from the others on its line, so that a rig
// can be built whose fixtures are not all alike (one left in its bootloader by an update cut
// short, one of another model, one whose bootloader refuses to start the new program).
//
// A setting is "N:LIST" for fixture N (from 0) of adapter 0, or "A:N:LIST" for fixture N of
// adapter A. LIST is a comma-separated list of:
//
//   bootloader      the fixture starts in its bootloader
//   refuse-start    its bootloader answers the start request with NACK NR_HARDWARE_FAULT
//   model=ID        the device model ID its DEVICE_INFO tells (decimal, or hex after 0x)
//   label=TEXT      its application's software version label (no comma; at most 32 characters)
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"
#include "sim/simulated_fixture.h"

namespace quillmont {

struct SimFixtureSetting {
  int adapter = 0;
  int fixture = 0;
  bool bootloader = false;
  bool refuse_start = false;
  bool has_model = false;
  uint16_t model = 0;
  bool has_label = false;
  std::string label;
};

Result<SimFixtureSetting> ParseSimFixtureSetting(std::string_view text);

// Applies the setting to the configuration of the fixture it names.
void ApplySimFixtureSetting(const SimFixtureSetting& setting, FixtureConfig& config);

}  // namespace quillmont
