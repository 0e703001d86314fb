// SPDX-License-Identifier: Apache-2.0
// Where Quillmont keeps what belongs to the user rather than to a run: the update history in the
// user's data folder and the settings file in the user's configuration folder.
//   Linux:   $XDG_DATA_HOME/quillmont (~/.local/share/quillmont when unset)
//            $XDG_CONFIG_HOME/quillmont (~/.config/quillmont when unset)
//   Windows: %LOCALAPPDATA%\Quillmont and %APPDATA%\Quillmont
#pragma once

#include <filesystem>
#include <string>

#include "base/result.h"

namespace quillmont {

Result<std::filesystem::path> UserDataFolder();
Result<std::filesystem::path> UserConfigFolder();

// A path as text for people and for the history, in UTF-8 on every system (a Windows path's own
// characters need not fit the console's code page).
std::string PathText(const std::filesystem::path& path);

}  // namespace quillmont
