// SPDX-License-Identifier: Apache-2.0
// What the window's controls do beyond the platform's defaults, each by subclassing the control.
#pragma once

#include <windows.h>

namespace quillmont::win32 {

// Escape in a multi-line edit field ends the dialog as Escape does anywhere else (IDCANCEL, no
// settings written). Left alone, the field would send the dialog WM_CLOSE, which is the close
// box's and saves the settings.
void PassEscapeToDialog(HWND edit);

// A field one line high shows its line in the middle, not at the top edge.
void CentreLineVertically(HWND edit);

// The baud list takes a rate only when it is chosen in the dropped list: the closed list takes
// no typing, no arrow, page, Home or End key and no mouse wheel, so that a stray key or a scroll
// over the window can never move the line to a rate the fixture does not speak. Space opens the
// list, as F4 and Alt+Down do.
void TakeBaudOnlyByChoice(HWND combo);

}  // namespace quillmont::win32
