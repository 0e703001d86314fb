// SPDX-License-Identifier: Apache-2.0
// The exit status of quillmont-cli, for scripts and production lines.
#pragma once

#include <string>

#include "station/fixture_commands.h"
#include "station/flash_result.h"
#include "station/rig.h"

namespace quillmont::cli {

enum ExitCode : int {
  kExitSuccess = 0,
  kExitCannotWrite = 1,    // the JSON document could not be written (an error document instead)
  kExitBadArguments = 2,   // the command line could not be parsed
  kExitBadFile = 3,        // the firmware file (or the history) cannot be read, or a bad record
  kExitNoAdapter = 4,      // no USB-to-RS485 adapter could be opened (doctor: or one is unfit)
  kExitNoDevice = 5,       // no fixture answered
  kExitUpdateAborted = 6,  // the firmware update did not complete
  kExitRefused = 7,        // the fixture answered a request with a NACK
  kExitInBootloader = 8,   // the fixture is (or stays) in its bootloader
  kExitNoAnswerAfterStart = 9,  // the fixture did not answer after the start of its new firmware
  kExitNotOnLine = 10,          // flash --all-fixtures: a fixture named by --uid is not on the line
  kExitNoMatch = 11,            // flash --all-fixtures: no fixture has the model of --model
  kExitCountMismatch = 12,      // --expect: the discovery found another number of fixtures
  kExitStartNotConfirmed = 13,  // stopped after the start request, before the fixture was heard
  // A run ended by a signal exits with 128 plus its number: 129 SIGHUP, 130 SIGINT, 143 SIGTERM.
};

// The table printed at the end of --help.
inline constexpr const char* kExitCodeHelp =
    "Exit status:\n"
    "  0  success\n"
    "  1  the JSON document could not be written (a failing command keeps its own status)\n"
    "  2  bad arguments\n"
    "  3  bad firmware file (history: the history cannot be read)\n"
    "  4  no adapter (doctor: an adapter that cannot be opened or cannot send a break)\n"
    "  5  no device (doctor: no fixture answered on any adapter)\n"
    "  6  update aborted (or the flash check failed)\n"
    "  7  the fixture refused the request\n"
    "  8  the fixture is in its bootloader (after flash: it did not start the new firmware)\n"
    "  9  the fixture did not answer after the start of its new firmware\n"
    "  10 a fixture named by --uid is not on the line (flash --all-fixtures)\n"
    "  11 no fixture on the line has the model of --model (flash --all-fixtures)\n"
    "  12 the discovery found another number of fixtures than --expect (nothing was flashed)\n"
    "  13 stopped after the start request, before the fixture was heard from (it may run the\n"
    "     new firmware)\n"
    "  129, 130, 143  ended by SIGHUP, SIGINT (Ctrl-C) or SIGTERM\n";

// The exit status of each result the station gives. A run that a signal stopped exits with the
// signal's status.
int ExitCodeOf(const FlashResult& result);
int ExitCodeOf(const FixtureReport& report);
int ExitCodeOf(RigRefusal refusal);

// The reason of a result for people: a run that a signal stopped says so first.
std::string DetailOf(const FlashResult& result);
std::string DetailOf(const FixtureReport& report);

}  // namespace quillmont::cli
