// SPDX-License-Identifier: Apache-2.0
// The user-interface operations the updater core needs from whatever realises its window: the
// Qt dialog, the console front end of quillmont-cli, and the recording fake of the tests.
// Everything is called on the window's one thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quillmont {

// A rectangle in the window's client coordinates, in pixels.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

struct Rgb {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
};

// What the firmware file-open dialog shows and allows.
struct FileDialogRequest {
  std::string filter_text = "SREC2 *.srec2";
  std::string filter_pattern = "*.srec2";
  std::string initial_directory = ".";
  std::string title = "Load Firmware File";
  std::string default_extension = "srec2";
  bool file_must_exist = true;
  size_t buffer_size = 500;  // characters, the terminating zero included
  // A second filter after the firmware's, for files named otherwise: "All files (*)".
  bool offer_all_files = true;
};

class WindowPort {
 public:
  virtual ~WindowPort() = default;

  // Control texts by ID. A write through SetControlText is the system's own and never counts
  // as an operator's edit of the field.
  virtual void SetControlText(int id, const std::string& text) = 0;
  virtual std::string GetControlText(int id) = 0;
  // Scrolls the log pane so that its last line is visible.
  virtual void ScrollLogToEnd() = 0;

  // Combo box: add an entry; find the entry equal to a text (-1 for none); select an index;
  // the selected index (-1 for none) and an entry's text.
  virtual void ComboAddString(int id, const std::string& text) = 0;
  virtual int ComboFindStringExact(int id, const std::string& text) = 0;
  virtual void ComboSetCurSel(int id, int index) = 0;
  virtual int ComboGetCurSel(int id) = 0;
  virtual std::string ComboGetItemText(int id, int index) = 0;

  // A modal message box with one OK button, no icon and the program's name as caption. Ticks
  // go on while it is open.
  virtual void ShowMessageBox(const std::string& text) = 0;
  // A modal question with Yes and No buttons, No the default (Enter and Escape answer No), the
  // program's name as caption. True for Yes. Ticks go on while it is open.
  virtual bool AskYesNo(const std::string& text) = 0;
  // The system beep (message beep 0xFFFF).
  virtual void Beep() = 0;

  // The periodic timer that calls OnTick. Returns the timer's identifier.
  virtual int StartTimer(int id, int period_ms) = 0;
  virtual void StopTimer(int timer_id) = 0;

  // A control's rectangle in the window's client coordinates.
  virtual Rect GetControlRect(int id) = 0;
  // Draws a filled rectangle with a 1-pixel solid pen and a solid brush on the client area.
  virtual void FillRect(const Rect& rect, Rgb pen, Rgb brush) = 0;
  // Invalidates the whole client area with background erase.
  virtual void Invalidate() = 0;

  // The modal file-open dialog; the chosen path, or nothing when cancelled or failed.
  virtual std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) = 0;

  // Closes a question that AskYesNo has open, as if No were answered: what it asked about is over
  // (the update ended meanwhile). Nothing when none is open.
  virtual void CloseQuestion() {}
  // A line over the progress bar's strip: the update's percent, bytes and time left, or how it
  // ended; "" for none. Invalidate clears it with the bar.
  virtual void SetProgressText(const std::string& /*text*/) {}
  // Gives the keyboard focus to a control.
  virtual void FocusControl(int /*id*/) {}
  // The desktop's local date and time for the log, "2024-05-01 14:03:22"; "" where there is none.
  virtual std::string LocalTimeText() { return {}; }

  // The modal about box (ticks go on while it is open).
  virtual void ShowAboutBox() = 0;
  // The platform's default handling of a system-menu command that is not the About entry.
  virtual void DefaultSystemCommand(int command) = 0;
  // Ends the window with a result (kResultOk, kResultCancel).
  virtual void EndDialog(int result) = 0;
};

}  // namespace quillmont
