// SPDX-License-Identifier: Apache-2.0
// The user's settings for both programs, in a small text file: quillmont.conf in the user's
// configuration folder (see user_folders.h). One "key = value" a line, "#" starts a comment,
// blank lines are fine. A key this version does not know, a value it cannot read and a line
// longer than kMaxSettingsLine are warned about and passed over; the rest still counts.
//
//   history = on|off    record every update in the history (default on)
//   pace = event|tick   how replies are taken between the 10 ms ticks (default event; the
//                       command line's --pace wins)
//
// The window's own quillmont.cfg (its baud rate) is a file of its own and stays as it is.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/window_pacer.h"

namespace quillmont {

inline constexpr const char* kStationSettingsFileName = "quillmont.conf";
inline constexpr size_t kMaxSettingsLine = 1024;
// The most of the file that is read; the rest is warned about.
inline constexpr size_t kMaxSettingsBytes = 64 * 1024;

struct StationSettings {
  bool history = true;
  std::optional<Pacing> pace;  // nothing when the file does not say
};

struct SettingsReading {
  StationSettings settings;
  std::vector<std::string> warnings;  // "quillmont.conf line 3: unknown key 'colour'; ignored."
};

// Reads settings from `text`; `name` names the file in warnings.
SettingsReading ParseStationSettings(std::string_view text, const std::string& name);

// Reads the user's quillmont.conf; no file (or no configuration folder) gives the defaults.
SettingsReading ReadStationSettings();

}  // namespace quillmont
