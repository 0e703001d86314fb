// SPDX-License-Identifier: Apache-2.0
// The Win32 realisation of the window for UpdaterApp::Start: it owns the dialog and its port,
// routes the dialog's reports and its timer to the core's handlers, and runs the dialog modally
// with the system's timer resolution at 1 ms, so that the 10 ms tick keeps its period.
#pragma once

#include <string>

#include "app/updater_app.h"
#include "station/window_station.h"
#include "win32/updater_dialog.h"
#include "win32/win32_window_port.h"

namespace quillmont::win32 {

class Win32WindowHost : public WindowHost, private DialogEvents {
 public:
  Win32WindowHost() : dialog_(*this), port_(dialog_) {}

  // The station the window's updates run through (null: the core's own reader, no record).
  // Bound windows take it as their firmware source and listener. It must outlive the binding.
  void UseStation(WindowStation* station) { station_ = station; }

  // Registers the common controls the template uses (the up-down control, the tooltips).
  void PrepareToolkit() override;
  WindowPort& port() override { return port_; }
  // Binds the window, runs the dialog (whose creation runs OnInit) until the core ends it, and
  // unbinds.
  int RunModal(UpdaterWindow& window) override;

  // The same dialog without a modal loop, shown, for the tests and the screenshots: they send it
  // messages and run its ticks themselves. Close destroys it and unbinds.
  bool Open(UpdaterWindow& window);
  void Close();

  // Saves a picture of the window as a PNG file `delay_ms` after it opens, then ends it as
  // Escape does (the hidden --screenshot option).
  void TakePictureAfter(int delay_ms, std::wstring path);

  UpdaterDialog& dialog() { return dialog_; }
  Win32WindowPort& win32_port() { return port_; }

 private:
  void OnDialogInit() override;
  void OnButtonClicked(int id) override;
  void OnUidEditedByOperator() override;
  void OnSubDeviceDelta(int delta) override;
  void OnBaudChosen() override;
  void OnCloseRequested() override;
  void OnSystemCommand(int command) override;
  void OnTimer(int id) override;
  // The controls follow the core's own state after every tick and every click: an update starts
  // on a click and ends on a tick, a click, or however else the core ends it.
  void Follow();
  void TakePicture();
  // The window's handlers receive the dialog's reports, and the station listens to the window,
  // from Bind to Unbind.
  void Bind(UpdaterWindow& window);
  void Unbind();

  UpdaterWindow* window_ = nullptr;
  WindowStation* station_ = nullptr;
  int picture_delay_ms_ = 0;
  std::wstring picture_path_;
  UpdaterDialog dialog_;
  Win32WindowPort port_;
};

}  // namespace quillmont::win32
