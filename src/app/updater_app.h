// SPDX-License-Identifier: Apache-2.0
// The application: it creates the one UpdaterWindow and runs it modally through the toolkit that
// realises it; the program ends when the window ends.
#pragma once

#include <iostream>

#include "app/window_port.h"
#include "link/clock.h"
#include "link/d2xx_driver.h"

namespace quillmont {

class UpdaterWindow;

// What a toolkit (the Qt program, the console front end, a test) offers to run the window.
class WindowHost {
 public:
  virtual ~WindowHost() = default;
  // Prepares the toolkit before the window exists (hosting of controls, their drawing style).
  virtual void PrepareToolkit() {}
  // The user-interface operations of the window that RunModal will show.
  virtual WindowPort& port() = 0;
  // Makes `window` the application's main window, runs OnInit once its controls exist, shows it
  // and delivers its events (the 10 ms timer included) until it ends. Returns the end result.
  virtual int RunModal(UpdaterWindow& window) = 0;
};

class UpdaterApp {
 public:
  // Runs the one window to its end and returns false: no message loop follows it, so the
  // program ends with the window. How the window ended is not looked at.
  bool Start(WindowHost& host, D2xxDriver& driver, Clock& clock, std::ostream& diag = std::cout);
};

}  // namespace quillmont
