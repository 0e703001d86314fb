// SPDX-License-Identifier: Apache-2.0
// The about box: icon 128, the program's name and version, and an OK button. No state and no
// handlers of its own; OK or Escape closes it.
#pragma once

#include <windows.h>

namespace quillmont::win32 {

// Runs the box modally over `owner`; the owner's timer goes on meanwhile.
void ShowAboutBox(HWND owner);

}  // namespace quillmont::win32
