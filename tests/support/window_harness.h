// SPDX-License-Identifier: Apache-2.0
// An UpdaterWindow on a VirtualClock, with a recording WindowPort, its settings file in a fresh
// temporary folder, and a TickPacer that runs its ticks as the 10 ms timer would.
#pragma once

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/tick_pacer.h"
#include "app/updater_window.h"
#include "link/clock.h"
#include "link/d2xx_driver.h"
#include "rdm/uid.h"
#include "support/recording_window_port.h"
#include "support/scripted_driver.h"

namespace quillmont::testing {

// A folder that exists for the lifetime of the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

class WindowHarness {
 public:
  WindowHarness(D2xxDriver& driver, VirtualClock& clock);

  // The settings file the window reads and writes.
  std::string SettingsPath() const { return window.settings_path; }
  void WriteSettings(const std::string& bytes) const;
  // The settings file's bytes; empty when there is none.
  std::string ReadSettings() const;
  bool SettingsExist() const;

  // Runs OnInit.
  void Init() { window.OnInit(); }
  // Runs `count` ticks, paced as the timer paces them.
  void Ticks(int64_t count) { pacer.RunTicks(count); }

  TempDir dir;
  RecordingWindowPort port;
  std::ostringstream diag;
  UpdaterWindow window;
  TickPacer pacer;
};

// The clock and the scripted adapter, made before the window that uses them.
struct ScriptedLine {
  VirtualClock clock;
  ScriptedDriver driver{clock};
};

class ScriptedWindowHarness : public ScriptedLine, public WindowHarness {
 public:
  ScriptedWindowHarness() : WindowHarness(driver, clock) {}
};

// A response frame as a fixture sends it: from `source` to the controller, response type ACK.
std::vector<uint8_t> ResponseFrame(const RdmUid& source, uint8_t command_class, uint16_t pid,
                                   const std::vector<uint8_t>& data, uint8_t response_type = 0x00);
// The bytes of a text, without a terminator.
std::vector<uint8_t> TextBytes(const std::string& text);

}  // namespace quillmont::testing
