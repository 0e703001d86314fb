// SPDX-License-Identifier: Apache-2.0
// The WindowPort of the Win32 window: the core's user-interface operations carried out on the
// dialog. Everything runs on the window's thread; the message boxes, the file-open dialog and the
// about box run modal loops on it, in which the dialog's 10 ms timer and with it the core's tick
// go on.
#pragma once

#include <string>

#include "app/window_port.h"
#include "win32/updater_dialog.h"

namespace quillmont::win32 {

class Win32WindowPort : public WindowPort {
 public:
  explicit Win32WindowPort(UpdaterDialog& dialog) : dialog_(dialog) {}

  void SetControlText(int id, const std::string& text) override;
  std::string GetControlText(int id) override;
  void ScrollLogToEnd() override;

  void ComboAddString(int id, const std::string& text) override;
  int ComboFindStringExact(int id, const std::string& text) override;
  void ComboSetCurSel(int id, int index) override;
  int ComboGetCurSel(int id) override;
  std::string ComboGetItemText(int id, int index) override;

  void ShowMessageBox(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  void Beep() override;

  int StartTimer(int id, int period_ms) override;
  void StopTimer(int timer_id) override;

  Rect GetControlRect(int id) override;
  void FillRect(const Rect& rect, Rgb pen, Rgb brush) override;
  void Invalidate() override;

  std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;

  void ShowAboutBox() override;
  void DefaultSystemCommand(int command) override;
  void EndDialog(int result) override;

  // The caption of the message boxes: the executable's file name without its extension.
  static std::wstring MessageBoxCaption();

 private:
  UpdaterDialog& dialog_;
  // FrameView's text as the core wrote it.
  std::string frame_text_;
};

}  // namespace quillmont::win32
