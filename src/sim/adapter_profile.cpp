// SPDX-License-Identifier: Apache-2.0
#include <array>
#include <string>

#include "sim/adapter_model.h"

namespace quillmont {
namespace {

struct Named {
  AdapterProfile profile;
  const char* name;
};

constexpr std::array<Named, 6> kProfiles = {{
    {AdapterProfile::kFtdi, "ftdi"},
    {AdapterProfile::kFtdiEcho, "ftdi-echo"},
    {AdapterProfile::kCh340, "ch340"},
    {AdapterProfile::kPl2303, "pl2303"},
    {AdapterProfile::kWidget, "widget"},
    {AdapterProfile::kWidgetClone, "widget-clone"},
}};

// How long a CH340 stick's auto-direction circuit keeps driving after its last byte.
constexpr uint64_t kCh340HoldMicros = 250;
constexpr size_t kCh340PacketBytes = 32;

}  // namespace

Result<AdapterProfile> ParseAdapterProfile(std::string_view name) {
  for (const Named& named : kProfiles) {
    if (name == named.name) {
      return named.profile;
    }
  }
  return Error{"unknown simulated adapter '" + std::string(name) +
               "'; choose ftdi, ftdi-echo, ch340, pl2303, widget or widget-clone"};
}

const char* AdapterProfileName(AdapterProfile profile) {
  for (const Named& named : kProfiles) {
    if (named.profile == profile) {
      return named.name;
    }
  }
  return "ftdi";
}

bool IsWidgetProfile(AdapterProfile profile) {
  return profile == AdapterProfile::kWidget || profile == AdapterProfile::kWidgetClone;
}

AdapterModel ModelOfProfile(AdapterProfile profile) {
  AdapterModel model;
  switch (profile) {
    case AdapterProfile::kFtdi:
    case AdapterProfile::kWidget:
    case AdapterProfile::kWidgetClone:
      break;
    case AdapterProfile::kFtdiEcho:
      model.hears_itself = true;
      break;
    case AdapterProfile::kCh340:
      model.hears_itself = true;
      model.driver_hold_micros = kCh340HoldMicros;
      model.packet_bytes = kCh340PacketBytes;
      model.chip = "WCH CH340";
      model.driver = "ch341";
      break;
    case AdapterProfile::kPl2303:
      model.hears_itself = true;
      model.break_reaches_line = false;
      model.chip = "Prolific PL2303 (clone)";
      model.driver = "pl2303";
      break;
  }
  return model;
}

}  // namespace quillmont
