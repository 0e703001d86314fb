// SPDX-License-Identifier: Apache-2.0
// Arbitrary bytes as the user's own files: a line of the update history and the settings file.
// A history line reads as a record or is refused, never more; a record read back writes the same
// line again. The settings file is read whatever it holds, with a warning for each line passed
// over and never more warnings than lines.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "station/history.h"
#include "station/station_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillmont;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const Result<HistoryRecord> record = ParseHistoryLine(text);
  if (record) {
    const std::string line = HistoryLine(*record);
    FUZZ_CHECK(line.find('\n') == std::string::npos);
    const Result<HistoryRecord> again = ParseHistoryLine(line);
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(HistoryLine(*again) == line);
  }

  const SettingsReading settings = ParseStationSettings(text, "quillmont.conf");
  const auto lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  FUZZ_CHECK(settings.warnings.size() <= lines);
  for (const std::string& warning : settings.warnings) {
    FUZZ_CHECK(warning.size() < 200);
  }
  return 0;
}
