// SPDX-License-Identifier: Apache-2.0
// What a window's FrameView shows for the core's text. The core lists a frame of 80 bytes or more
// without its header line; a window shows that line all the same, taken from the listed bytes when
// they are a whole frame with a good checksum (the frames the core acted on). Every other text is
// shown as it stands. The core's own text is what the window gives back when asked.
#pragma once

#include <string>

namespace quillmont {

std::string FrameViewShownText(const std::string& text);

}  // namespace quillmont
