// SPDX-License-Identifier: Apache-2.0
#include "drivers/sim_fixture_settings.h"

#include <vector>

#include "base/whole_number.h"
#include "drivers/driver_choice.h"
#include "rdm/fixture_text.h"
#include "rdm/message.h"

namespace quillmont {
namespace {

constexpr size_t kMaxLabel = 32;

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (size_t at = 0;;) {
    const size_t next = text.find(separator, at);
    parts.push_back(text.substr(at, next == std::string_view::npos ? next : next - at));
    if (next == std::string_view::npos) {
      return parts;
    }
    at = next + 1;
  }
}

}  // namespace

Result<SimFixtureSetting> ParseSimFixtureSetting(std::string_view text) {
  // The argument is quoted back as printable ASCII: a label may hold any byte.
  const std::string whole = "--sim-fixture '" + TerminalText(text, false) + "': ";
  const std::vector<std::string_view> parts = Split(text, ':');
  if (parts.size() != 2 && parts.size() != 3) {
    return Error{whole + "write N:LIST or A:N:LIST"};
  }
  SimFixtureSetting setting;
  uint32_t number = 0;
  if (parts.size() == 3) {
    if (!ParseWholeNumber(parts[0], kMaxSimAdapters - 1, number)) {
      return Error{whole + "adapter number out of range"};
    }
    setting.adapter = static_cast<int>(number);
  }
  if (!ParseWholeNumber(parts[parts.size() - 2], kMaxSimFixtures - 1, number)) {
    return Error{whole + "fixture number out of range"};
  }
  setting.fixture = static_cast<int>(number);
  for (std::string_view item : Split(parts.back(), ',')) {
    if (item == "bootloader") {
      setting.bootloader = true;
    } else if (item == "refuse-start") {
      setting.refuse_start = true;
    } else if (item.starts_with("model=")) {
      if (!ParseWholeNumber(item.substr(6), 0xFFFF, number)) {
        return Error{whole + "model wants 0 to 65535 (or 0x0000 to 0xFFFF)"};
      }
      setting.has_model = true;
      setting.model = static_cast<uint16_t>(number);
    } else if (item.starts_with("label=") && item.size() > 6 && item.size() - 6 <= kMaxLabel) {
      setting.has_label = true;
      setting.label = std::string(item.substr(6));
    } else {
      return Error{whole + "unknown or bad item '" + TerminalText(item, false) + "'"};
    }
  }
  return setting;
}

void ApplySimFixtureSetting(const SimFixtureSetting& setting, FixtureConfig& config) {
  config.start_in_bootloader = config.start_in_bootloader || setting.bootloader;
  if (setting.refuse_start) {
    config.refuse_start_reason = NR_HARDWARE_FAULT;
  }
  if (setting.has_model) {
    config.device_model_id = setting.model;
  }
  if (setting.has_label) {
    config.application_label = setting.label;
  }
}

}  // namespace quillmont
