// SPDX-License-Identifier: Apache-2.0
// A picture of what the screen shows in a rectangle, saved as a PNG file (with GDI+): the window
// program's hidden --screenshot option and the pictures of the window in the README.
#pragma once

#include <windows.h>

#include <string>

namespace quillmont::win32 {

bool SaveScreenPicture(const RECT& area, const std::wstring& path);

}  // namespace quillmont::win32
