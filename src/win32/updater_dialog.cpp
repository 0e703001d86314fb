// SPDX-License-Identifier: Apache-2.0
#include "win32/updater_dialog.h"

#include <commctrl.h>

#include <vector>

#include "app/control_ids.h"
#include "win32/control_behaviour.h"
#include "win32/wide_text.h"
#include "win32/window_template.h"

namespace quillmont::win32 {

namespace {

// The log pane is written at most this often: an edit control lays its text out anew with every
// change (under Wine that takes tens of milliseconds), and one line per programmed chunk would
// hold up the ticks that run the update.
constexpr UINT_PTR kLogTimer = 0x4C4F;
constexpr UINT kLogFlushMs = 100;

constexpr int kLockedDuringUpdate[] = {kDiscoverButton, kIdentifyButton,   kStopIdentifyButton,
                                       kRefreshButton,  kSetAddressButton, kUidEdit,
                                       kDmxAddressEdit, kBaudCombo};

HINSTANCE Instance() {
  return GetModuleHandleW(nullptr);
}

// Whether `text` fits the label's width in the label's font.
bool FitsLabel(HWND label, const std::wstring& text) {
  RECT client{};
  GetClientRect(label, &client);
  HDC dc = GetDC(label);
  const HGDIOBJ old =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  return size.cx <= client.right - client.left;
}

TTTOOLINFOW ToolOf(HWND dialog, HWND label) {
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = dialog;
  tool.uId = reinterpret_cast<UINT_PTR>(label);
  return tool;
}

}  // namespace

UpdaterDialog::UpdaterDialog(DialogEvents& events)
    : events_(events), template_(MainWindowTemplate()) {}

UpdaterDialog::~UpdaterDialog() {
  Close();
}

int UpdaterDialog::RunModal() {
  modal_ = true;
  ended_ = false;
  const INT_PTR result = DialogBoxIndirectParamW(Instance(), template_.get(), nullptr, Procedure,
                                                 reinterpret_cast<LPARAM>(this));
  modal_ = false;
  return static_cast<int>(result);
}

bool UpdaterDialog::Open() {
  Close();
  ended_ = false;
  if (CreateDialogIndirectParamW(Instance(), template_.get(), nullptr, Procedure,
                                 reinterpret_cast<LPARAM>(this)) == nullptr) {
    return false;
  }
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
  return true;
}

void UpdaterDialog::Close() {
  if (hwnd_ != nullptr && !modal_) {
    DestroyWindow(hwnd_);
  }
}

void UpdaterDialog::End(int result) {
  result_ = result;
  ended_ = true;
  if (hwnd_ == nullptr) {
    return;
  }
  if (modal_) {
    EndDialog(hwnd_, result);
  } else {
    ShowWindow(hwnd_, SW_HIDE);
  }
}

HWND UpdaterDialog::Control(int id) const {
  return hwnd_ == nullptr ? nullptr : GetDlgItem(hwnd_, id);
}

INT_PTR CALLBACK UpdaterDialog::Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    auto* self = reinterpret_cast<UpdaterDialog*>(lparam);
    self->hwnd_ = hwnd;
    self->OnInitDialog();
    return TRUE;
  }
  auto* self = reinterpret_cast<UpdaterDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (self == nullptr) {
    return FALSE;
  }
  if (message == WM_NCDESTROY) {
    self->hwnd_ = nullptr;
    self->log_pending_ = false;
    self->log_shown_.clear();
    self->tooltip_ = nullptr;
    return FALSE;
  }
  return self->Handle(message, wparam, lparam);
}

INT_PTR UpdaterDialog::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lparam)) ? TRUE : FALSE;
    case WM_TIMER:
      if (wparam == kLogTimer) {
        FlushLog();
      } else {
        events_.OnTimer(static_cast<int>(wparam));
      }
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) != kAboutCommand) {
        return FALSE;  // the default handling
      }
      events_.OnSystemCommand(static_cast<int>(wparam));
      return TRUE;
    case WM_HELP:
      // F1 in a box open over the window reaches the window too; the box is answered first.
      if (IsWindowEnabled(hwnd_)) {
        events_.OnSystemCommand(kAboutCommand);
      }
      return TRUE;
    case WM_CLOSE:
      events_.OnCloseRequested();
      return TRUE;
    case WM_PAINT:
      Paint();
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(large_icon_);
    case WM_DESTROY:
      DestroyIcon(large_icon_);
      DestroyIcon(small_icon_);
      large_icon_ = small_icon_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

void UpdaterDialog::OnInitDialog() {
  AddSystemMenuEntry();
  SetIcons();
  for (const int id : {kUidEdit, kDmxAddressEdit}) {
    PassEscapeToDialog(Control(id));
    CentreLineVertically(Control(id));
  }
  PassEscapeToDialog(Control(kLogPane));
  // The log is never trimmed: no limit on what it holds.
  SendMessageW(Control(kLogPane), EM_SETLIMITTEXT, 0, 0);
  TakeBaudOnlyByChoice(Control(kBaudCombo));
  AddToolTips();
  events_.OnDialogInit();
}

void UpdaterDialog::AddSystemMenuEntry() {
  HMENU menu = GetSystemMenu(hwnd_, FALSE);
  if (menu != nullptr) {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kAboutCommand, Widen(kAboutMenuText).c_str());
  }
}

// Icon 128 as the window's large and small icon, each in the system's size for it.
void UpdaterDialog::SetIcons() {
  const auto load = [](int width, int height) {
    return static_cast<HICON>(
        LoadImageW(Instance(), MAKEINTRESOURCEW(kIconId), IMAGE_ICON, width, height, 0));
  };
  large_icon_ = load(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
  small_icon_ = load(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large_icon_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_));
}

void UpdaterDialog::AddToolTips() {
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, Instance(), nullptr);
  for (const int id : kElidedLabels) {
    TTTOOLINFOW tool = ToolOf(hwnd_, Control(id));
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void UpdaterDialog::OnCommand(int id, int code) {
  if (id == kBaudCombo) {
    OnBaudNotification(code);
  } else if (id == kUidEdit) {
    if (code == EN_CHANGE && !system_write_) {
      events_.OnUidEditedByOperator();
    }
  } else if (id == kHelpButton) {
    if (code == BN_CLICKED) {
      events_.OnSystemCommand(kAboutCommand);
    }
  } else if (code == BN_CLICKED) {
    events_.OnButtonClicked(id);
  }
}

// A rate is taken when it is chosen in the dropped list (CBN_SELENDOK), or when the selection
// changes while the list is closed (which only a program can do: the closed list takes no
// keys). Browsing the dropped list takes nothing, and leaving it with Escape goes back to the
// rate taken last.
void UpdaterDialog::OnBaudNotification(int code) {
  HWND combo = Control(kBaudCombo);
  const int selected = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
  const bool dropped = SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != FALSE;
  if (code == CBN_SELENDOK || (code == CBN_SELCHANGE && !dropped && selected != baud_taken_)) {
    baud_taken_ = selected;
    events_.OnBaudChosen();
  } else if (code == CBN_SELENDCANCEL) {
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(baud_taken_), 0);
  }
}

bool UpdaterDialog::OnNotify(const NMHDR& header) {
  if (header.idFrom != static_cast<UINT_PTR>(kSubDeviceSpin) || header.code != UDN_DELTAPOS) {
    return false;
  }
  events_.OnSubDeviceDelta(reinterpret_cast<const NMUPDOWN&>(header).iDelta);
  SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 0);  // the change is allowed
  return true;
}

void UpdaterDialog::SetText(int id, const std::string& text) {
  system_write_ = true;
  SetWindowTextW(Control(id), Widen(text).c_str());
  system_write_ = false;
}

std::string UpdaterDialog::Text(int id) const {
  HWND control = Control(id);
  const int length = GetWindowTextLengthW(control);
  if (length <= 0) {
    return {};
  }
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
  return Narrow(text);
}

void UpdaterDialog::ShowLog(const std::string& text) {
  log_ = text;
  if (hwnd_ != nullptr && !log_pending_) {
    log_pending_ = true;
    SetTimer(hwnd_, kLogTimer, kLogFlushMs, nullptr);
  }
}

void UpdaterDialog::ScrollLogToEnd() {
  log_scroll_pending_ = true;
  ShowLog(log_);
}

// The pane holds what was shown last; a log that begins with it gets only its new end.
void UpdaterDialog::FlushLog() {
  if (hwnd_ == nullptr || !log_pending_) {
    return;
  }
  KillTimer(hwnd_, kLogTimer);
  log_pending_ = false;
  HWND pane = Control(kLogPane);
  const bool extends =
      log_.size() >= log_shown_.size() && log_.compare(0, log_shown_.size(), log_shown_) == 0;
  system_write_ = true;
  SendMessageW(pane, WM_SETREDRAW, FALSE, 0);
  if (!extends) {
    SetWindowTextW(pane, Widen(log_).c_str());
  } else if (log_.size() > log_shown_.size()) {
    const int end = GetWindowTextLengthW(pane);
    SendMessageW(pane, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(pane, EM_REPLACESEL, FALSE,
                 reinterpret_cast<LPARAM>(Widen(log_.substr(log_shown_.size())).c_str()));
  }
  if (log_scroll_pending_) {
    // Down by as many lines as the pane holds: its last line is then in view. (A count near
    // INT_MAX overflows in some edit controls once the pane is scrolled, and lands at the top.)
    SendMessageW(pane, EM_LINESCROLL, 0, SendMessageW(pane, EM_GETLINECOUNT, 0, 0));
    log_scroll_pending_ = false;
  }
  SendMessageW(pane, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(pane, nullptr, TRUE);
  system_write_ = false;
  log_shown_ = log_;
}

void UpdaterDialog::SetElidedText(int id, const std::string& text) {
  SetText(id, text);
  HWND label = Control(id);
  const std::wstring wide = Widen(text);
  TTTOOLINFOW tool = ToolOf(hwnd_, label);
  const std::wstring tip = FitsLabel(label, wide) ? std::wstring() : wide;
  tool.lpszText = const_cast<wchar_t*>(tip.c_str());
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

std::string UpdaterDialog::ToolTip(int id) const {
  std::vector<wchar_t> text(1024, L'\0');
  TTTOOLINFOW tool = ToolOf(hwnd_, Control(id));
  tool.lpszText = text.data();
  SendMessageW(tooltip_, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool));
  return Narrow(text.data());
}

void UpdaterDialog::SelectBaud(int index) {
  HWND combo = Control(kBaudCombo);
  const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  baud_taken_ = index >= 0 && index < count ? index : -1;
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(baud_taken_), 0);
}

void UpdaterDialog::ShowBar(const Rect& rect, Rgb pen, Rgb brush) {
  bar_ = Bar{rect, pen, brush};
  const RECT area{rect.left, rect.top, rect.right, rect.bottom};
  InvalidateRect(hwnd_, &area, FALSE);
}

void UpdaterDialog::ClearBar() {
  bar_.reset();
}

// The bar as GDI draws a rectangle: the pen's 1-pixel outline on its border, right and bottom
// exclusive, and the brush inside.
void UpdaterDialog::Paint() {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(hwnd_, &paint);
  if (bar_ && bar_->rect.right > bar_->rect.left && bar_->rect.bottom > bar_->rect.top) {
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(bar_->pen.r, bar_->pen.g, bar_->pen.b));
    HBRUSH brush = CreateSolidBrush(RGB(bar_->brush.r, bar_->brush.g, bar_->brush.b));
    const HGDIOBJ old_pen = SelectObject(dc, pen);
    const HGDIOBJ old_brush = SelectObject(dc, brush);
    Rectangle(dc, bar_->rect.left, bar_->rect.top, bar_->rect.right, bar_->rect.bottom);
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    DeleteObject(pen);
    DeleteObject(brush);
  }
  EndPaint(hwnd_, &paint);
}

// A control that loses its enabled state while it has the focus hands the focus on to the next
// control that takes it, as the dialog's Tab would.
void UpdaterDialog::SetUpdateRunning(bool running) {
  if (update_running_ == running || hwnd_ == nullptr) {
    return;
  }
  update_running_ = running;
  HWND focus = GetFocus();
  HWND focused = nullptr;
  for (const int id : kLockedDuringUpdate) {
    HWND control = Control(id);
    if (running && (control == focus || IsChild(control, focus))) {
      focused = control;
    } else {
      EnableWindow(control, running ? FALSE : TRUE);
    }
  }
  if (focused != nullptr) {
    SendMessageW(hwnd_, WM_NEXTDLGCTL, 0, FALSE);
    EnableWindow(focused, FALSE);
  }
}

}  // namespace quillmont::win32
