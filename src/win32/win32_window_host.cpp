// SPDX-License-Identifier: Apache-2.0
#include "win32/win32_window_host.h"

#include <commctrl.h>
#include <timeapi.h>

#include "app/control_ids.h"
#include "app/updater_window.h"
#include "win32/screen_picture.h"

namespace quillmont::win32 {

namespace {

// The system's timer resolution at 1 ms while the window runs: at the default 15.6 ms the
// 10 ms timer would fire every 15.6 ms, and every wait counted in ticks would be half as long
// again.
class TimerResolution {
 public:
  TimerResolution() : set_(timeBeginPeriod(1) == TIMERR_NOERROR) {}
  ~TimerResolution() {
    if (set_) {
      timeEndPeriod(1);
    }
  }
  TimerResolution(const TimerResolution&) = delete;
  TimerResolution& operator=(const TimerResolution&) = delete;

 private:
  bool set_;
};

constexpr UINT_PTR kPictureTimer = 0x5043;

}  // namespace

void Win32WindowHost::PrepareToolkit() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&controls);
}

void Win32WindowHost::Bind(UpdaterWindow& window) {
  Unbind();
  window_ = &window;
  if (station_ != nullptr) {
    station_->Attach(window);
  }
}

void Win32WindowHost::Unbind() {
  if (window_ != nullptr && station_ != nullptr) {
    station_->Detach();
  }
  window_ = nullptr;
}

int Win32WindowHost::RunModal(UpdaterWindow& window) {
  Bind(window);
  const TimerResolution resolution;
  const int result = dialog_.RunModal();
  Unbind();
  return result;
}

bool Win32WindowHost::Open(UpdaterWindow& window) {
  Bind(window);
  if (!dialog_.Open()) {
    Unbind();
    return false;
  }
  return true;
}

void Win32WindowHost::Close() {
  dialog_.Close();
  Unbind();
}

void Win32WindowHost::OnDialogInit() {
  if (window_ != nullptr) {
    window_->OnInit();
  }
  if (!picture_path_.empty()) {
    SetTimer(dialog_.hwnd(), kPictureTimer, static_cast<UINT>(picture_delay_ms_), nullptr);
  }
}

void Win32WindowHost::TakePictureAfter(int delay_ms, std::wstring path) {
  picture_delay_ms_ = delay_ms;
  picture_path_ = std::move(path);
}

void Win32WindowHost::TakePicture() {
  KillTimer(dialog_.hwnd(), kPictureTimer);
  dialog_.FlushLog();
  RedrawWindow(dialog_.hwnd(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT area{};
  GetWindowRect(dialog_.hwnd(), &area);
  if (!SaveScreenPicture(area, picture_path_)) {
    port_.ShowMessageBox("Cannot write the picture of the window.");
  }
  dialog_.End(kResultCancel);
}

void Win32WindowHost::OnButtonClicked(int id) {
  if (window_ == nullptr) {
    return;
  }
  switch (id) {
    case kExitButton:
      window_->OnExitButton();
      break;
    case kCancelButton:
      window_->OnCancel();
      break;
    case kUpdateButton:
      window_->OnUpdateButton();
      break;
    case kDiscoverButton:
      window_->OnDiscoverButton();
      break;
    case kIdentifyButton:
      window_->OnIdentifyButton();
      break;
    case kStopIdentifyButton:
      window_->OnStopIdentifyButton();
      break;
    case kRefreshButton:
      window_->OnRefreshButton();
      break;
    case kSetAddressButton:
      window_->OnSetAddressButton();
      break;
    default:
      return;
  }
  Follow();
}

void Win32WindowHost::OnUidEditedByOperator() {
  if (window_ != nullptr) {
    window_->OnUidChanged();
  }
}

void Win32WindowHost::OnSubDeviceDelta(int delta) {
  if (window_ != nullptr) {
    window_->OnSubDeviceDelta(delta);
  }
}

void Win32WindowHost::OnBaudChosen() {
  if (window_ != nullptr) {
    window_->OnBaudChanged();
  }
}

void Win32WindowHost::OnCloseRequested() {
  if (window_ != nullptr) {
    window_->OnClose();
    Follow();
  }
}

void Win32WindowHost::OnSystemCommand(int command) {
  if (window_ != nullptr) {
    window_->OnSystemCommand(command);
  }
}

void Win32WindowHost::OnTimer(int id) {
  if (static_cast<UINT_PTR>(id) == kPictureTimer) {
    TakePicture();
  } else if (window_ != nullptr) {
    window_->OnTick(id);
    Follow();
  }
}

void Win32WindowHost::Follow() {
  if (window_ != nullptr) {
    dialog_.SetUpdateRunning(window_->job.running());
  }
}

}  // namespace quillmont::win32
