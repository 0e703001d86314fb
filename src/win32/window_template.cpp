// SPDX-License-Identifier: Apache-2.0
#include "win32/window_template.h"

#include <commctrl.h>

#include "app/control_ids.h"

namespace quillmont::win32 {

namespace {

constexpr wchar_t kDialogFont[] = L"MS Shell Dlg";
constexpr WORD kDialogPointSize = 8;
constexpr DWORD kDialogStyle =
    DS_SHELLFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;

constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
// UidEdit and DmxAddressEdit: Enter is a line break, the text scrolls sideways.
constexpr DWORD kField =
    ES_CENTER | ES_MULTILINE | ES_WANTRETURN | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kLog = ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_BORDER |
                       WS_VSCROLL | WS_TABSTOP;
// Texts that come from the line or the fixture: an "&" in them is a character, not a mnemonic.
constexpr DWORD kDataText = SS_NOPREFIX;
constexpr DWORD kElided = SS_LEFT | SS_ENDELLIPSIS | SS_NOPREFIX | SS_NOTIFY;

using C = ControlClass;

// StatusLine is two lines high (the template's one line cuts the longest status off), and
// ModelLabel and VersionLabel are 105 units wide (the template's 100 and 85 cut off a label such
// as "Quillmont Sim Bootloader 1.0"): the space they take is free in the template.
constexpr ControlTemplate kMainControls[] = {
    {kExitButton, C::kButton, nullptr, L"Exit", 0, BS_DEFPUSHBUTTON | WS_TABSTOP, true, 290, 10, 45,
     14},
    {kCancelButton, C::kButton, nullptr, L"Cancel", 0, kButton, false, 295, 5, 50, 14},
    {kUpdateButton, C::kButton, nullptr, L"Update Firmware", 0, kButton, true, 10, 90, 90, 14},
    {kDiscoverButton, C::kButton, nullptr, L"Discover Node", 0, kButton, true, 10, 35, 90, 14},
    {kUidEdit, C::kEdit, nullptr, L"", 0, kField, true, 120, 35, 75, 14},
    {kFrameView, C::kStatic, nullptr, L"", 0, SS_LEFT | kDataText, true, 10, 120, 325, 40},
    {kSubDeviceSpin, C::kNamed, UPDOWN_CLASSW, nullptr, 0, UDS_ARROWKEYS | WS_TABSTOP, true, 280,
     35, 13, 14},
    {kSubDeviceLabel, C::kStatic, nullptr, L"0", 0, SS_RIGHT, true, 250, 40, 25, 8},
    {-1, C::kStatic, nullptr, L"SubDevice", 0, SS_LEFTNOWORDWRAP, true, 295, 40, 36, 8},
    {kLogPane, C::kEdit, nullptr, L"", 0, kLog, true, 5, 180, 335, 96},
    {kModelLabel, C::kStatic, nullptr, L"", 0, kElided, true, 10, 55, 105, 8},
    {kVersionLabel, C::kStatic, nullptr, L"", 0, kElided, true, 10, 70, 105, 8},
    {kStatusLine, C::kStatic, nullptr, L"Not Connected", 0, SS_CENTER | kDataText, true, 75, 10,
     190, 16},
    {kIdentifyButton, C::kButton, nullptr, L"Identify", 0, kButton, true, 120, 90, 60, 14},
    {kStopIdentifyButton, C::kButton, nullptr, L"Stop Identify", 0, kButton, true, 185, 90, 60, 14},
    {kRefreshButton, C::kButton, nullptr, L"Refresh", 0, kButton, true, 205, 35, 40, 14},
    {kDmxAddressEdit, C::kEdit, nullptr, L"", 0, kField, true, 155, 60, 40, 14},
    {-1, C::kStatic, nullptr, L"Dmx Addr:", 0, SS_LEFTNOWORDWRAP, true, 120, 65, 34, 8},
    {kSetAddressButton, C::kButton, nullptr, L"Set", 0, kButton, true, 205, 60, 40, 14},
    // The height includes the dropped list. Not editable: only a choice in the list is a rate.
    {kBaudCombo, C::kComboBox, nullptr, L"", 0, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, true,
     10, 10, 50, 100},
    {kHelpButton, C::kButton, nullptr, L"?", 0, kButton, true, 270, 10, 14, 14},
};

}  // namespace

DialogTemplate MainWindowTemplate() {
  DialogTemplate dialog(DialogFrame{kDialogStyle, WS_EX_APPWINDOW, 347, 284, L"Quillmont - V3.20",
                                    kDialogPointSize, kDialogFont});
  for (const ControlTemplate& control : kMainControls) {
    dialog.Add(control);
  }
  return dialog;
}

DialogTemplate AboutBoxTemplate() {
  DialogTemplate dialog(
      DialogFrame{kDialogStyle, 0, 235, 59, L"Quillmont", kDialogPointSize, kDialogFont});
  dialog.Add({-1, C::kStatic, nullptr, nullptr, kIconId, SS_ICON, true, 11, 17, 20, 20});
  dialog.Add(
      {-1, C::kStatic, nullptr, L"Quillmont 3.20", 0, SS_LEFT | SS_NOPREFIX, true, 40, 10, 119, 8});
  dialog.Add(
      {IDOK, C::kButton, nullptr, L"OK", 0, BS_DEFPUSHBUTTON | WS_TABSTOP, true, 178, 7, 50, 14});
  return dialog;
}

}  // namespace quillmont::win32
