// SPDX-License-Identifier: Apache-2.0
// quillmont-sim's command line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "base/result.h"
#include "sim/adapter_model.h"
#include "sim/fault_plan.h"
#include "sim/simulated_fixture.h"

namespace quillmont::sim {

inline constexpr const char* kSimVersion = "quillmont-sim 3.20";
inline constexpr int kMaxFixtures = 16;

struct SimOptions {
  std::vector<FixtureConfig> fixtures;  // one or more, UIDs counting up from --uid
  FaultPlan faults;
  std::string dump_path;  // empty: no dump
  std::string link_path;  // empty: no link
  bool exit_after_start = false;
  // The adapter the fixtures stand behind; widget and widget-clone also set `widget`.
  AdapterProfile adapter = AdapterProfile::kFtdi;
  bool widget = false;  // behind a DMX USB Pro-style widget
};

// Exit statuses of quillmont-sim.
inline constexpr int kSimExitOk = 0;
inline constexpr int kSimExitFailed = 1;  // no pseudo-terminal, the line failed, a dump failed
inline constexpr int kSimExitBadArguments = 2;

// Reads the command line into `options`. -1 when the program should go on; otherwise the exit
// status (0 after --help or --version, which went to `out`; kSimExitBadArguments after a
// message to `err`).
int ParseSimArguments(int argc, const char* const* argv, SimOptions& options, std::ostream& out,
                      std::ostream& err);

// Reads a UID: 12 hex digits, with single blanks allowed between whole bytes, or with one colon
// after the manufacturer ID ("4F 4C 12 34 56 78", "4F4C12345678", "4F4C:12345678"). An error for
// anything else.
Result<RdmUid> ParseUidText(const std::string& text);

}  // namespace quillmont::sim
