// SPDX-License-Identifier: Apache-2.0
// Linked into every test program: before anything runs, the program's home and its user data and
// configuration folders are set to folders under the build tree, so that no test (nor any program
// a test starts, which inherits them) reads or writes a real user's update history or settings.
// The CTest fixture test user_folders_stay_empty checks afterwards that nothing landed in the
// home itself.
#include <cstdlib>
#include <string>

namespace {

void Set(const char* name, const std::string& value) {
#if defined(_WIN32)
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

const bool kFoldersSet = [] {
  const std::string home = std::string(QUILLMONT_BINARY_DIR) + "/test-home";
  Set("HOME", home);
  Set("XDG_DATA_HOME", home + "/data");
  Set("XDG_CONFIG_HOME", home + "/config");
  Set("LOCALAPPDATA", home + "/data");
  Set("APPDATA", home + "/config");
  return true;
}();

}  // namespace
