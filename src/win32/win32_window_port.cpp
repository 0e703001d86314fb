// SPDX-License-Identifier: Apache-2.0
#include "win32/win32_window_port.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "app/control_ids.h"
#include "app/shown_frame_text.h"
#include "win32/about_box.h"
#include "win32/wide_text.h"
#include "win32/window_template.h"

namespace quillmont::win32 {

namespace {

bool IsElided(int id) {
  return std::find(std::begin(kElidedLabels), std::end(kElidedLabels), id) !=
         std::end(kElidedLabels);
}

// The process's working directory, which the file-open dialog may move; the settings file is
// read and written there by its relative name.
class WorkingDirectoryKept {
 public:
  WorkingDirectoryKept() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    directory_.resize(size);
    directory_.resize(GetCurrentDirectoryW(size, directory_.data()));
  }
  ~WorkingDirectoryKept() {
    if (!directory_.empty()) {
      SetCurrentDirectoryW(directory_.c_str());
    }
  }
  WorkingDirectoryKept(const WorkingDirectoryKept&) = delete;
  WorkingDirectoryKept& operator=(const WorkingDirectoryKept&) = delete;

 private:
  std::wstring directory_;
};

}  // namespace

void Win32WindowPort::SetControlText(int id, const std::string& text) {
  if (id == kLogPane) {
    dialog_.ShowLog(text);
  } else if (id == kFrameView) {
    frame_text_ = text;
    dialog_.SetText(id, FrameViewShownText(text));
  } else if (IsElided(id)) {
    dialog_.SetElidedText(id, text);
  } else if (id == kUidEdit || id == kDmxAddressEdit) {
    // The core rewrites all three bound texts with every log line; an unchanged field is left
    // alone (a rewrite would move its caret to the start).
    if (dialog_.Text(id) != text) {
      dialog_.SetText(id, text);
    }
  } else if (id != kBaudCombo) {
    dialog_.SetText(id, text);
  }
}

std::string Win32WindowPort::GetControlText(int id) {
  if (id == kLogPane) {
    return dialog_.log();  // the core's bytes exactly, shown or not yet
  }
  if (id == kFrameView) {
    return frame_text_;
  }
  return dialog_.Text(id);
}

void Win32WindowPort::ScrollLogToEnd() {
  dialog_.ScrollLogToEnd();
}

void Win32WindowPort::ComboAddString(int id, const std::string& text) {
  SendMessageW(dialog_.Control(id), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
}

int Win32WindowPort::ComboFindStringExact(int id, const std::string& text) {
  const LRESULT found =
      SendMessageW(dialog_.Control(id), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                   reinterpret_cast<LPARAM>(Widen(text).c_str()));
  return found == CB_ERR ? -1 : static_cast<int>(found);
}

void Win32WindowPort::ComboSetCurSel(int id, int index) {
  if (id == kBaudCombo) {
    dialog_.SelectBaud(index);
  }
}

int Win32WindowPort::ComboGetCurSel(int id) {
  const LRESULT selected = SendMessageW(dialog_.Control(id), CB_GETCURSEL, 0, 0);
  return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

std::string Win32WindowPort::ComboGetItemText(int id, int index) {
  HWND combo = dialog_.Control(id);
  const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (index < 0 || length == CB_ERR || length <= 0) {
    return {};
  }
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT copied = SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                      reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied == CB_ERR ? 0 : static_cast<size_t>(copied));
  return Narrow(text);
}

std::wstring Win32WindowPort::MessageBoxCaption() {
  std::vector<wchar_t> path(MAX_PATH, L'\0');
  DWORD length = 0;
  while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
             path.size() &&
         path.size() < 32768) {
    path.resize(path.size() * 2);
  }
  std::wstring name(path.data(), length);
  name = name.substr(name.find_last_of(L"\\/") + 1);
  return name.substr(0, name.rfind(L'.'));
}

void Win32WindowPort::ShowMessageBox(const std::string& text) {
  dialog_.FlushLog();
  MessageBoxW(dialog_.hwnd(), Widen(text).c_str(), MessageBoxCaption().c_str(), MB_OK);
}

bool Win32WindowPort::AskYesNo(const std::string& text) {
  dialog_.FlushLog();
  return MessageBoxW(dialog_.hwnd(), Widen(text).c_str(), MessageBoxCaption().c_str(),
                     MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION) == IDYES;
}

void Win32WindowPort::Beep() {
  MessageBeep(0xFFFFFFFF);
}

int Win32WindowPort::StartTimer(int id, int period_ms) {
  const UINT_PTR started =
      SetTimer(dialog_.hwnd(), static_cast<UINT_PTR>(id), static_cast<UINT>(period_ms), nullptr);
  return started == 0 ? 0 : id;
}

void Win32WindowPort::StopTimer(int timer_id) {
  KillTimer(dialog_.hwnd(), static_cast<UINT_PTR>(timer_id));
}

Rect Win32WindowPort::GetControlRect(int id) {
  RECT rect{};
  HWND control = dialog_.Control(id);
  if (control == nullptr || !GetWindowRect(control, &rect)) {
    return {};
  }
  MapWindowPoints(HWND_DESKTOP, dialog_.hwnd(), reinterpret_cast<POINT*>(&rect), 2);
  return Rect{rect.left, rect.top, rect.right, rect.bottom};
}

void Win32WindowPort::FillRect(const Rect& rect, Rgb pen, Rgb brush) {
  dialog_.ShowBar(rect, pen, brush);
}

void Win32WindowPort::Invalidate() {
  dialog_.ClearBar();
  InvalidateRect(dialog_.hwnd(), nullptr, TRUE);
}

// The dialog is owned by the window, so that the window takes no click while it is open (a
// second Update click would open a second dialog), and the working directory stays where it was.
std::optional<std::string> Win32WindowPort::OpenFileDialog(const FileDialogRequest& request) {
  std::wstring filter = Widen(request.filter_text);
  filter.push_back(L'\0');
  filter += Widen(request.filter_pattern);
  filter.push_back(L'\0');
  const std::wstring directory = Widen(request.initial_directory);
  const std::wstring title = Widen(request.title);
  const std::wstring extension = Widen(request.default_extension);
  std::vector<wchar_t> file(std::max<size_t>(request.buffer_size, 1), L'\0');

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = dialog_.hwnd();
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrInitialDir = directory.c_str();
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = (request.file_must_exist ? OFN_FILEMUSTEXIST : 0) | OFN_NOCHANGEDIR;
  dialog.lpstrDefExt = extension.c_str();
  const WorkingDirectoryKept kept;
  dialog_.FlushLog();
  if (!GetOpenFileNameW(&dialog) || file[0] == L'\0') {
    return std::nullopt;
  }
  return Narrow(file.data());
}

void Win32WindowPort::ShowAboutBox() {
  win32::ShowAboutBox(dialog_.hwnd());
}

void Win32WindowPort::DefaultSystemCommand(int command) {
  DefWindowProcW(dialog_.hwnd(), WM_SYSCOMMAND, static_cast<WPARAM>(command), 0);
}

void Win32WindowPort::EndDialog(int result) {
  dialog_.End(result);
}

}  // namespace quillmont::win32
