// SPDX-License-Identifier: Apache-2.0
// What every form of `flash` shows of its results: the JSON of a result, the summary of one
// update, the table of every adapter's, a rig's plan and table, and the early failures before
// any fixture is reached.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "station/firmware_file.h"
#include "station/flash_result.h"
#include "station/rig.h"

namespace quillmont::cli {

nlohmann::json ResultJson(const FlashResult& r);
// A rig's fixture: its result with what the survey found.
nlohmann::json EntryJson(const RigEntry& entry, bool all_adapters);

// A run that ended before any fixture was reached: the reason on standard error and, with
// --json, the document.
int EarlyFailure(const CliConfig& config, CliOutput io, const std::string& path, int code,
                 const char* result, const std::string& detail);

// "12.3 s".
std::string Seconds(double seconds);

// A fixture's software version label as a terminal shows it (TerminalText): "(not told)" when
// the fixture told none.
std::string Told(const std::string& version, bool utf8);

// The end of `flash`: the fixture, the file and its digest, the bytes, the time, the versions
// and the result. `utf8`: the terminal takes UTF-8.
void PrintSummary(std::ostream& out, bool utf8, const FirmwareFile& file, const FlashResult& r);

// The end of `flash --all-adapters`: the file and a row for each adapter.
void PrintAdapterTable(std::ostream& out, const FirmwareFile& file,
                       const std::vector<FlashResult>& results);

// A rig's plan: every fixture found and what the run does with it, and why.
void PrintPlan(std::ostream& out, bool utf8, const std::vector<RigFixture>& fixtures,
               bool all_adapters);
// The end of a rig's run: a row for each fixture.
void PrintRigTable(std::ostream& out, bool utf8, const FirmwareFile& file,
                   const std::vector<RigEntry>& entries, bool all_adapters);

}  // namespace quillmont::cli
