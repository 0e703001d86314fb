// SPDX-License-Identifier: Apache-2.0
// The Qt realisation of the window for UpdaterApp::Start: it owns the dialog and its port, binds
// the dialog's reports to the core's handlers, and runs the dialog modally.
#pragma once

#include <QMetaObject>
#include <QPointer>
#include <optional>
#include <vector>

#include "app/updater_app.h"
#include "app/window_pacer.h"
#include "station/window_station.h"
#include "ui/qt_window_port.h"
#include "ui/rig_dialog.h"
#include "ui/updater_dialog.h"

namespace quillmont::ui {

class QtWindowHost : public WindowHost {
 public:
  QtWindowHost();

  // The station the window's updates run through (null: the core's own reader, no record).
  // Bound windows take it as their firmware source and listener. It must outlive the binding.
  void UseStation(WindowStation* station) { station_ = station; }
  // The desktop program's ways, for the windows bound after: an operator watches (the core tells
  // every end, progress and silence itself), and how replies are taken between the ticks. Unset,
  // a bound window keeps the core's defaults (the tests that pace ticks by hand).
  void UseDesktopPacing(Pacing pacing) { pacing_ = pacing; }

  WindowPort& port() override { return port_; }
  // Binds the window, runs its OnInit, runs the dialog until the core ends it, and unbinds.
  int RunModal(UpdaterWindow& window) override;

  // Routes the dialog's reports and the timer to `window`'s handlers, and back out again. The
  // timer is stopped on Unbind, so that no tick reaches a window that has gone.
  void Bind(UpdaterWindow& window);
  void Unbind();

  UpdaterDialog& dialog() { return dialog_; }
  // The window bound now; null when none is.
  UpdaterWindow* bound_window() const { return bound_; }
  QtWindowPort& qt_port() { return port_; }

  // The Rig button and Ctrl+R: when the bound window runs no update of its own, it lends its line
  // and the Rig dialog opens on it (window-modal, the window's commands locked); when the dialog
  // closes, the window takes its line back and discovers again. Nothing without a station.
  void OpenRigDialog();
  // The Rig dialog while it is open; null otherwise.
  RigDialog* rig_dialog() const { return rig_; }

 private:
  UpdaterDialog dialog_;
  QtWindowPort port_;
  WindowStation* station_ = nullptr;
  std::optional<Pacing> pacing_;
  UpdaterWindow* bound_ = nullptr;
  QPointer<RigDialog> rig_;
  std::vector<QMetaObject::Connection> connections_;
};

}  // namespace quillmont::ui
