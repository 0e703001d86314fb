// SPDX-License-Identifier: Apache-2.0
#include "window_snapshot.h"

#include <cstdlib>
#include <string>

#include "win32/screen_picture.h"
#include "win32/wide_text.h"

namespace quillmont::win32::testing {

namespace {

// Lets the window and the box paint what they have to (and the log pane catch up), for a fifth
// of a second.
void LetThemPaint(HWND window, HWND box) {
  for (HWND shown : {window, box}) {
    if (shown != nullptr) {
      RedrawWindow(shown, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
  }
  const DWORD until = GetTickCount() + 200;
  while (GetTickCount() < until) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&message);
    }
    Sleep(10);
  }
}

}  // namespace

void Snapshot(HWND window, HWND box, const char* name) {
  const char* dir = std::getenv("QUILLMONT_SHOTS");
  if (dir == nullptr || *dir == '\0') {
    return;
  }
  LetThemPaint(window, box);
  RECT area{};
  GetWindowRect(window, &area);
  if (box != nullptr) {
    RECT box_area{};
    GetWindowRect(box, &box_area);
    UnionRect(&area, &area, &box_area);
  }
  SaveScreenPicture(area, Widen(std::string(dir) + "\\" + name + ".png"));
}

}  // namespace quillmont::win32::testing
