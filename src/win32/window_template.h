// SPDX-License-Identifier: Apache-2.0
// The main window's and the about box's templates: every control with its ID, class, style,
// initial text, and place and size in dialog units, in creation order, which is also the tab
// order. The font is the system's dialog font at 8 points ("MS Shell Dlg" with DS_SHELLFONT,
// which Windows maps to the dialog font of the system it runs on).
#pragma once

#include "app/control_ids.h"
#include "win32/dialog_template.h"

namespace quillmont::win32 {

// The "?" button that opens the about box, between StatusLine and Exit.
inline constexpr int kHelpButton = 1060;

// The labels of the fixture's texts: ends in an ellipsis when too long, the whole in a tooltip.
inline constexpr int kElidedLabels[] = {kModelLabel, kVersionLabel};

DialogTemplate MainWindowTemplate();
DialogTemplate AboutBoxTemplate();

}  // namespace quillmont::win32
