// SPDX-License-Identifier: Apache-2.0
// Pictures of the window for the README: with QUILLMONT_SHOTS=DIR (a Windows path), Snapshot
// saves what the screen shows of the window and of the box open over it as DIR\NAME.png. Nothing
// otherwise.
#pragma once

#include <windows.h>

namespace quillmont::win32::testing {

void Snapshot(HWND window, HWND box, const char* name);

}  // namespace quillmont::win32::testing
