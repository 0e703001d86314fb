// SPDX-License-Identifier: Apache-2.0
// Seeded firmware updates of the bundled examples on the simulated line and fixture, each with
// its own random faults: lost and corrupted replies, noise bursts, a slow or resetting fixture, a
// fixture that starts in its (low) bootloader, the adapter pulled out and back, the operator
// aborting, a wrong DMX baud rate; behind an FTDI cable, one that hears itself or a CH340 stick.
// Each run is checked against what an update may end in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/window_pacer.h"
#include "sim/adapter_model.h"
#include "sim/fault_plan.h"
#include "sim/simulated_fixture.h"

namespace quillmont::soak {

// How a run ended, by what the window showed.
enum class Outcome {
  kSuccess,            // the fixture answered from its new application after the start
  kBudgetAbort,        // "Operation ABORTED !  :-("
  kUserAbort,          // "Operation Aborted by User."
  kNoDevice,           // the message box "No devices connected"
  kStaysInBootloader,  // the start was acknowledged, but the bootloader still answers
  kUnconfirmed,        // the start went unanswered or refused, or nothing answered after it
  kHang,               // still running after the tick limit
};
const char* OutcomeName(Outcome outcome);

struct SoakCase {
  uint64_t seed = 0;
  std::string firmware;  // path of the .srec2 file
  FixtureConfig fixture;
  FaultPlan faults;        // installed on the line when the operator clicks Update Firmware
  int64_t abort_at = -1;   // tick of the update at which the operator clicks Abort Operation
  int64_t rebaud_at = -1;  // tick at which the operator picks 57600 (the fixture stays at 250000)
  int fault_count = 0;     // faults planned for this run
  Pacing pacing = Pacing::kTick;
  AdapterProfile adapter = AdapterProfile::kFtdi;
  std::string description;
};

struct SoakResult {
  Outcome outcome = Outcome::kHang;
  bool flash_holds_image = false;
  uint32_t first_mismatch = 0;
  int64_t ticks = 0;       // ticks from the click to the end of the update
  int64_t tick_bound = 0;  // the most ticks its waits and budgets allow
  std::string log;
  // What went wrong, empty when every invariant held.
  std::vector<std::string> broken;
};

// The bundled firmware files and one whose code repeats itself (every chunk the same bytes),
// and an update of one of them with no fault at all.
int ExampleCount();
SoakCase CleanSoakCase(int example_index, const std::string& examples);

// The case for a seed; the same seed gives the same case. `examples` is the folder of the
// bundled firmware files.
SoakCase MakeSoakCase(uint64_t seed, const std::string& examples);

// Runs one update against a fresh line and fixture. Never runs more than `tick_limit` ticks.
SoakResult RunSoakCase(const SoakCase& soak_case, int64_t tick_limit = 200000);

struct SoakTotals {
  int runs = 0;
  int faults = 0;
  int successes = 0;
  int budget_aborts = 0;
  int user_aborts = 0;
  int no_device = 0;
  int stays_in_bootloader = 0;
  int unconfirmed = 0;
  int wrong_flashes = 0;
  int hangs = 0;
  int over_bound = 0;
  void Add(const SoakCase& soak_case, const SoakResult& result);
};

}  // namespace quillmont::soak
