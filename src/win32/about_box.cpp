// SPDX-License-Identifier: Apache-2.0
#include "win32/about_box.h"

#include "win32/window_template.h"

namespace quillmont::win32 {

namespace {

INT_PTR CALLBACK AboutProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM /*lparam*/) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(hwnd, LOWORD(wparam));
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      EndDialog(hwnd, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void ShowAboutBox(HWND owner) {
  DialogTemplate about = AboutBoxTemplate();
  DialogBoxIndirectParamW(GetModuleHandleW(nullptr), about.get(), owner, AboutProcedure, 0);
}

}  // namespace quillmont::win32
