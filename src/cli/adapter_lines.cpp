// SPDX-License-Identifier: Apache-2.0
#include "cli/adapter_lines.h"

namespace quillmont::cli {

AdapterLines MakeAdapterLines(const CliConfig& config, int count) {
  AdapterLines adapters;
  adapters.names.resize(static_cast<size_t>(count));
  adapters.failed.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    Result<std::unique_ptr<DriverSet>> made = MakeAdapterDriver(config.drivers, i);
    if (!made) {
      FlashResult& failed = adapters.failed[static_cast<size_t>(i)];
      failed.verdict = FlashVerdict::kNoAdapter;
      failed.detail = made.error().message;
      continue;
    }
    const std::vector<std::string> names = (*made)->AdapterNames();
    adapters.names[static_cast<size_t>(i)] =
        names.empty() ? "adapter " + std::to_string(i) : names.front();
    adapters.lines.push_back(StationLine{i, made->get()});
    adapters.sets.push_back(std::move(*made));
  }
  return adapters;
}

}  // namespace quillmont::cli
