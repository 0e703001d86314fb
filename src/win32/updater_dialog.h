// SPDX-License-Identifier: Apache-2.0
// The main window as a Win32 dialog made from its template (window_template.h). It knows nothing
// of the updater core: it reports what the operator does through DialogEvents, and
// Win32WindowPort drives it for the core. Besides the template it gives the window its icon, the
// About entry of its system menu, the progress bar's painting, the tooltips of the fixture's
// texts, and the lock of the commands while an update runs.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "app/window_port.h"
#include "win32/dialog_template.h"

namespace quillmont::win32 {

class DialogEvents {
 public:
  virtual ~DialogEvents() = default;
  // The controls exist; the window is not shown yet.
  virtual void OnDialogInit() = 0;
  // A push button was clicked; Enter (the default button's ID) and Escape (IDCANCEL) included.
  virtual void OnButtonClicked(int id) = 0;
  // The operator changed the text of UidEdit (typing, pasting, cutting).
  virtual void OnUidEditedByOperator() = 0;
  // The up-down control proposes a change of its position.
  virtual void OnSubDeviceDelta(int delta) = 0;
  // The operator chose an entry of the baud list.
  virtual void OnBaudChosen() = 0;
  // The close box, Alt+F4 or the system menu's Close.
  virtual void OnCloseRequested() = 0;
  // The About entry of the system menu; F1 and the "?" button report it too.
  virtual void OnSystemCommand(int command) = 0;
  // An expiry of a timer of the window.
  virtual void OnTimer(int id) = 0;
};

class UpdaterDialog {
 public:
  explicit UpdaterDialog(DialogEvents& events);
  ~UpdaterDialog();
  UpdaterDialog(const UpdaterDialog&) = delete;
  UpdaterDialog& operator=(const UpdaterDialog&) = delete;

  // Runs the dialog modally until End; returns End's result.
  int RunModal();
  // The dialog without a modal loop of its own, shown: for the tests and the screenshots, which
  // send it messages. Close destroys it.
  bool Open();
  void Close();
  // Ends the dialog with a result (a modeless one is hidden).
  void End(int result);
  bool ended() const { return ended_; }
  int result() const { return result_; }

  HWND hwnd() const { return hwnd_; }
  HWND Control(int id) const;

  // A control's text, with CR LF line breaks. Writes here are the system's: never an edit.
  void SetText(int id, const std::string& text);
  std::string Text(int id) const;
  // The log pane's text, and its scrolling to the last line: shown within a tenth of a second,
  // at once by FlushLog. log() is the text as last given.
  void ShowLog(const std::string& text);
  void ScrollLogToEnd();
  void FlushLog();
  const std::string& log() const { return log_; }
  // A fixture's text in a label that ends in an ellipsis when it is too long; the whole text is
  // then the label's tooltip (ToolTip), otherwise it has none.
  void SetElidedText(int id, const std::string& text);
  std::string ToolTip(int id) const;

  // The baud list's selection as the system sets it; what Escape in the dropped list goes back to.
  void SelectBaud(int index);

  // The progress bar: a rectangle outlined in `pen` and filled with `brush`, painted until
  // ClearBar.
  void ShowBar(const Rect& rect, Rgb pen, Rgb brush);
  void ClearBar();

  // While an update runs, the controls that would disturb it are disabled: Discover Node,
  // Identify, Stop Identify, Refresh, Set, the UID and address fields and the baud list.
  void SetUpdateRunning(bool running);
  bool update_running() const { return update_running_; }

 private:
  static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void OnInitDialog();
  void AddSystemMenuEntry();
  void SetIcons();
  void AddToolTips();
  void OnCommand(int id, int code);
  void OnBaudNotification(int code);
  bool OnNotify(const NMHDR& header);
  void Paint();

  DialogEvents& events_;
  DialogTemplate template_;
  HWND hwnd_ = nullptr;
  HWND tooltip_ = nullptr;
  HICON large_icon_ = nullptr;
  HICON small_icon_ = nullptr;
  bool modal_ = false;
  bool ended_ = false;
  int result_ = 0;
  bool system_write_ = false;
  bool update_running_ = false;
  int baud_taken_ = -1;
  std::string log_;
  std::string log_shown_;
  bool log_pending_ = false;
  bool log_scroll_pending_ = false;

  struct Bar {
    Rect rect;
    Rgb pen;
    Rgb brush;
  };
  std::optional<Bar> bar_;
};

}  // namespace quillmont::win32
