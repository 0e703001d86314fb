// The Update Firmware button while the core of this build has no firmware update yet: it says
// so instead of doing nothing. Built only when src/app/update_button.cpp is absent.
#include "app/updater_window.h"

namespace quillmont {

void UpdaterWindow::OnUpdateButton() {
  port().ShowMessageBox("The firmware update is not part of this build yet.");
}

}  // namespace quillmont
