// SPDX-License-Identifier: Apache-2.0
#include "app/updater_app.h"

#include "app/updater_window.h"

namespace quillmont {

bool UpdaterApp::Start(WindowHost& host, D2xxDriver& driver, Clock& clock, std::ostream& diag) {
  host.PrepareToolkit();
  UpdaterWindow window(host.port(), driver, clock, diag);
  host.RunModal(window);
  return false;
}

}  // namespace quillmont
