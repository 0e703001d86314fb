// SPDX-License-Identifier: Apache-2.0
#include "station/user_folders.h"

#include <cstdlib>
#include <string>

namespace quillmont {
namespace {

#if defined(_WIN32)

// %NAME%\Quillmont, read as the system's wide text so that any user name works.
Result<std::filesystem::path> KnownFolder(const wchar_t* name, const char* shown) {
  const wchar_t* value = _wgetenv(name);
  if (value == nullptr || *value == L'\0') {
    return Error{std::string("%") + shown +
                 "% is not set: there is no folder for Quillmont's files."};
  }
  return std::filesystem::path(value) / "Quillmont";
}

#else

// An absolute $NAME, or $HOME/`fallback` (the XDG base directories: a relative path in the
// variable is not taken).
Result<std::filesystem::path> XdgFolder(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  if (value != nullptr && *value == '/') {
    return std::filesystem::path(value) / "quillmont";
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home != '/') {
    return Error{std::string("Neither ") + name +
                 " nor HOME names a folder: there is no folder for Quillmont's files."};
  }
  return std::filesystem::path(home) / fallback / "quillmont";
}

#endif

}  // namespace

Result<std::filesystem::path> UserDataFolder() {
#if defined(_WIN32)
  return KnownFolder(L"LOCALAPPDATA", "LOCALAPPDATA");
#else
  return XdgFolder("XDG_DATA_HOME", ".local/share");
#endif
}

Result<std::filesystem::path> UserConfigFolder() {
#if defined(_WIN32)
  return KnownFolder(L"APPDATA", "APPDATA");
#else
  return XdgFolder("XDG_CONFIG_HOME", ".config");
#endif
}

std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace quillmont
