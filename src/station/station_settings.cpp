// SPDX-License-Identifier: Apache-2.0
#include "station/station_settings.h"

#include <fstream>

#include "base/result.h"
#include "station/user_folders.h"

namespace quillmont {
namespace {

Status OnOff(std::string_view value, bool& flag) {
  if (value == "on") {
    flag = true;
  } else if (value == "off") {
    flag = false;
  } else {
    return Error{"wants on or off"};
  }
  return {};
}

Status PaceOf(std::string_view value, std::optional<Pacing>& pace) {
  if (value == "event") {
    pace = Pacing::kEvent;
  } else if (value == "tick") {
    pace = Pacing::kTick;
  } else {
    return Error{"wants event or tick"};
  }
  return {};
}

// Every key the file may hold and how its value is taken: a new key is one line here.
struct SettingKey {
  std::string_view name;
  Status (*apply)(std::string_view value, StationSettings& settings);
};
constexpr SettingKey kSettingKeys[] = {
    {"history", [](std::string_view v, StationSettings& s) { return OnOff(v, s.history); }},
    {"pace", [](std::string_view v, StationSettings& s) { return PaceOf(v, s.pace); }},
};

// A text from the file as a warning may show it: at most 40 characters, nothing raw.
std::string Shown(std::string_view text) {
  std::string shown;
  for (const char c : text.substr(0, 40)) {
    shown += c >= 0x20 && c < 0x7F ? c : '?';
  }
  return shown;
}

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The reason `line` is not taken, or "" when it was (or holds nothing).
std::string TakeLine(std::string_view line, StationSettings& settings) {
  line = Trimmed(line.substr(0, line.find('#')));
  if (line.empty()) {
    return {};
  }
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) {
    return "not \"key = value\"; ignored.";
  }
  const std::string_view key = Trimmed(line.substr(0, equals));
  const std::string_view value = Trimmed(line.substr(equals + 1));
  for (const SettingKey& known : kSettingKeys) {
    if (known.name == key) {
      const Status taken = known.apply(value, settings);
      return taken ? std::string() : Shown(key) + " " + taken.error().message + "; ignored.";
    }
  }
  return "unknown key \"" + Shown(key) + "\"; ignored.";
}

}  // namespace

SettingsReading ParseStationSettings(std::string_view text, const std::string& name) {
  SettingsReading reading;
  int number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    const std::string why =
        line.size() > kMaxSettingsLine
            ? "longer than " + std::to_string(kMaxSettingsLine) + " characters; ignored."
            : TakeLine(line, reading.settings);
    if (!why.empty()) {
      reading.warnings.push_back(name + " line " + std::to_string(number) + ": " + why);
    }
  }
  return reading;
}

SettingsReading ReadStationSettings() {
  const Result<std::filesystem::path> folder = UserConfigFolder();
  if (!folder) {
    return {};
  }
  const std::filesystem::path path = *folder / kStationSettingsFileName;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return {};
  }
  std::string text(kMaxSettingsBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  SettingsReading reading;
  if (text.size() > kMaxSettingsBytes) {
    text.resize(kMaxSettingsBytes);
    text.resize(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n'));
    reading.warnings.push_back(PathText(path) + ": only its first " +
                               std::to_string(kMaxSettingsBytes) + " bytes are read.");
  }
  SettingsReading parsed = ParseStationSettings(text, PathText(path));
  parsed.warnings.insert(parsed.warnings.begin(), reading.warnings.begin(), reading.warnings.end());
  return parsed;
}

}  // namespace quillmont
