// SPDX-License-Identifier: Apache-2.0
#include "win32/control_behaviour.h"

#include <commctrl.h>

namespace quillmont::win32 {

namespace {

constexpr UINT_PTR kEscapeSubclass = 1;
constexpr UINT_PTR kBaudSubclass = 2;

bool IsEscape(const MSG* message) {
  return message != nullptr && (message->message == WM_KEYDOWN || message->message == WM_CHAR) &&
         message->wParam == VK_ESCAPE;
}

LRESULT CALLBACK EscapeProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                 UINT_PTR /*id*/, DWORD_PTR /*data*/) {
  switch (message) {
    case WM_GETDLGCODE:
      // The dialog manager handles Escape itself when the field does not want it.
      if (IsEscape(reinterpret_cast<const MSG*>(lparam))) {
        return 0;
      }
      break;
    case WM_KEYDOWN:
      if (wparam == VK_ESCAPE) {
        SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return 0;
      }
      break;
    case WM_CHAR:
      if (wparam == VK_ESCAPE) {
        return 0;
      }
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, EscapeProcedure, kEscapeSubclass);
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

bool ListDropped(HWND combo) {
  return SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != FALSE;
}

// Keys that would pick another entry on the closed list.
bool StepsClosedList(WPARAM key) {
  switch (key) {
    case VK_UP:
    case VK_DOWN:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_HOME:
    case VK_END:
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK BaudProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                               UINT_PTR /*id*/, DWORD_PTR /*data*/) {
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, BaudProcedure, kBaudSubclass);
  } else if (!ListDropped(hwnd)) {
    if (message == WM_KEYDOWN && wparam == VK_SPACE) {
      SendMessageW(hwnd, CB_SHOWDROPDOWN, TRUE, 0);
      return 0;
    }
    if ((message == WM_KEYDOWN && StepsClosedList(wparam)) || message == WM_CHAR ||
        message == WM_MOUSEWHEEL) {
      return 0;
    }
  }
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

}  // namespace

void PassEscapeToDialog(HWND edit) {
  SetWindowSubclass(edit, EscapeProcedure, kEscapeSubclass, 0);
}

void CentreLineVertically(HWND edit) {
  RECT client{};
  GetClientRect(edit, &client);
  HDC dc = GetDC(edit);
  const HGDIOBJ old =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(edit, dc);
  const LONG spare = client.bottom - client.top - metrics.tmHeight;
  if (spare <= 1) {
    return;
  }
  RECT line = client;
  line.left += 1;
  line.right -= 1;
  line.top += spare / 2;
  line.bottom = line.top + metrics.tmHeight;
  SendMessageW(edit, EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&line));
}

void TakeBaudOnlyByChoice(HWND combo) {
  SetWindowSubclass(combo, BaudProcedure, kBaudSubclass, 0);
}

}  // namespace quillmont::win32
