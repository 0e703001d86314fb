// SPDX-License-Identifier: Apache-2.0
// quillmont.exe [--simulate] [--port COMn]... [--driver NAME] [--no-history]: the desktop window
// on Windows.
//
// The adapter comes from the same driver choice as quillmont-cli: FTDI's D2XX library by default,
// the COM ports with --driver serial (every adapter's port, or exactly the --port names), and the
// built-in simulated fixture on the real clock with --simulate. Updates run through the station
// and are recorded in the user's update history (unless --no-history or the settings file's
// "history = off"). A program of the GUI subsystem: what it has to say before its window opens
// (a bad option, --help) it says in a message box.
// Hidden for the screenshot script and the smoke test: --screenshot PATH [--screenshot-delay MS]
// saves the window to a PNG file MS milliseconds after it opens and then ends it.
// clang-format off
#include <windows.h>
#include <shellapi.h>  // after windows.h, whose types it uses
// clang-format on

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/updater_app.h"
#include "drivers/driver_choice.h"
#include "station/history.h"
#include "station/station_settings.h"
#include "station/user_folders.h"
#include "station/window_station.h"
#include "win32/wide_text.h"
#include "win32/win32_window_host.h"
#include "win32/win32_window_port.h"
#include "win32/window_options.h"

namespace {

using quillmont::win32::Narrow;
using quillmont::win32::Widen;

// The arguments after the program's name, from the wide command line (argv would be in the
// ANSI code page).
std::vector<std::string> Arguments() {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide != nullptr && i < count; ++i) {
    args.push_back(Narrow(wide[i]));
  }
  LocalFree(wide);
  return args;
}

void Tell(const std::string& text) {
  MessageBoxW(nullptr, Widen(text).c_str(),
              quillmont::win32::Win32WindowPort::MessageBoxCaption().c_str(), MB_OK);
}

// What the station tells beside the window (a record not written, a settings line not
// understood) goes to standard error: the window's own texts stay as they are.
class StandardErrorEvents final : public quillmont::StationEvents {
 public:
  void OnWarning(const std::string& text) override { std::cerr << "quillmont: " << text << "\n"; }
};

// The user's update history, unless recording is off; null then.
std::unique_ptr<quillmont::UpdateHistory> OpenHistory(
    const quillmont::win32::WindowOptions& options, quillmont::StationEvents& events) {
  const quillmont::SettingsReading settings = quillmont::ReadStationSettings();
  for (const std::string& warning : settings.warnings) {
    events.OnWarning(warning);
  }
  if (options.no_history || !settings.settings.history) {
    return nullptr;
  }
  const quillmont::Result<std::filesystem::path> folder = quillmont::UserDataFolder();
  if (!folder) {
    events.OnWarning("The update history is not kept: " + folder.error().message);
    return nullptr;
  }
  return std::make_unique<quillmont::UpdateHistory>(*folder / quillmont::kHistoryFileName);
}

}  // namespace

int main() {
  const quillmont::Result<quillmont::win32::WindowOptions> options =
      quillmont::win32::ParseWindowOptions(Arguments());
  if (!options) {
    Tell(options.error().message + "\n\n" + quillmont::win32::WindowUsage());
    return 2;
  }
  if (options->help) {
    Tell(quillmont::win32::WindowUsage());
    return 0;
  }

  quillmont::DriverOptions driver_options;
  driver_options.simulate = options->simulate;
  driver_options.driver = options->driver;
  driver_options.ports = options->ports;
  driver_options.notices = &std::cerr;  // why a port did not open, each reason once
  quillmont::Result<quillmont::DriverConfig> config = quillmont::ParseDriverOptions(driver_options);
  quillmont::Result<std::unique_ptr<quillmont::DriverSet>> drivers =
      config ? quillmont::MakeDriver(*config)
             : quillmont::Result<std::unique_ptr<quillmont::DriverSet>>(config.error());
  if (!drivers) {
    Tell(drivers.error().message);
    return 2;
  }

  StandardErrorEvents events;
  const std::unique_ptr<quillmont::UpdateHistory> history = OpenHistory(*options, events);
  quillmont::RunSettings run;
  run.program = "quillmont";
  run.history = history.get();
  quillmont::WindowStation station(**drivers, run, events);
  quillmont::win32::Win32WindowHost host;
  host.UseStation(&station);
  if (!options->screenshot.empty()) {
    host.TakePictureAfter(options->screenshot_delay_ms, Widen(options->screenshot));
  }
  quillmont::UpdaterApp().Start(host, (*drivers)->driver(), (*drivers)->clock());
  return 0;
}
