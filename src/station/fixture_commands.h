// SPDX-License-Identifier: Apache-2.0
// What the window's buttons do to one fixture, run to their answer: its info (what the window
// shows once it has found a fixture, and where the fixture runs), identify on or off, and a new
// DMX start address. Each finds the fixture as the window does (or by a typed UID), sends
// through the core's own handlers and waits for the answer through the tick.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "rdm/uid.h"
#include "station/line_set.h"
#include "station/run_settings.h"
#include "station/session.h"
#include "station/station_events.h"

namespace quillmont {

enum class FixtureVerdict {
  kDone,          // read, or acknowledged
  kNoAdapter,     // no adapter opened
  kNoDevice,      // no fixture found, or it told nothing
  kNoAnswer,      // the fixture did not answer the request
  kRefused,       // the fixture answered with a NACK
  kInBootloader,  // the fixture runs its bootloader (info tells it; a SET is not sent to it)
  kStopped,       // a stop request ended the command
};

struct FixtureReport {
  FixtureVerdict verdict = FixtureVerdict::kNoDevice;
  std::string detail;  // for people, when not done
  std::string uid;     // the fixture ("" when none was reached)
  DeviceInfo info;     // info only
  bool in_bootloader = false;
  uint16_t nack_reason = 0;  // when refused
};

// What the fixture tells of itself, and whether it runs its bootloader (then kInBootloader, with
// the info it told).
FixtureReport ReadFixture(LineSet& line, const std::optional<RdmUid>& uid,
                          const RunSettings& settings, StationEvents& events);

// The SET requests of the window's buttons.
struct FixtureSet {
  enum class Kind { kIdentify, kDmxAddress } kind = Kind::kIdentify;
  bool identify_on = false;
  uint16_t address = 1;
};

// Sends the request and waits for its answer; sends nothing to a fixture in its bootloader (a
// bootloader takes any SET IDENTIFY_DEVICE for "start program").
FixtureReport SetOnFixture(LineSet& line, const std::optional<RdmUid>& uid,
                           const RunSettings& settings, StationEvents& events,
                           const FixtureSet& request);

}  // namespace quillmont
