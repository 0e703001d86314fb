// SPDX-License-Identifier: Apache-2.0
// Every adapter of the chosen driver as a line of its own (--all-adapters): a driver and a clock
// each, made before any run starts.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "drivers/driver_choice.h"
#include "station/flash_result.h"
#include "station/station_line.h"

namespace quillmont::cli {

struct AdapterLines {
  std::vector<std::unique_ptr<DriverSet>> sets;  // the adapters whose driver was made
  std::vector<StationLine> lines;                // the same, with their numbers
  std::vector<std::string> names;                // every adapter's name, by number
  std::vector<FlashResult> failed;               // by number: "no adapter" where none was made
};

AdapterLines MakeAdapterLines(const CliConfig& config, int count);

}  // namespace quillmont::cli
