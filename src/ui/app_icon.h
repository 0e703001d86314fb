// SPDX-License-Identifier: Apache-2.0
// Icon 128, the program's icon: a fixture's lamp head with a download arrow, drawn in 32 by 32
// and 16 by 16 pixels. DrawAppIcon is the artwork; quillmont-make-icons writes it to the PNG
// files in src/ui/icons, which the program loads from its resources.
#pragma once

#include <QIcon>
#include <QImage>

namespace quillmont::ui {

QImage DrawAppIcon(int size);

// The window icon with its 32 and 16 pixel images.
QIcon AppIcon();

}  // namespace quillmont::ui
