// SPDX-License-Identifier: Apache-2.0
// The main window's controls, named after their role, with their numeric IDs; and the other
// identifiers the window uses.
#pragma once

namespace quillmont {

inline constexpr int kExitButton = 1;
inline constexpr int kCancelButton = 2;
inline constexpr int kBaudCombo = 1001;
inline constexpr int kUpdateButton = 1027;
inline constexpr int kDiscoverButton = 1032;
inline constexpr int kUidEdit = 1035;
inline constexpr int kFrameView = 1041;
inline constexpr int kSubDeviceSpin = 1043;
inline constexpr int kSubDeviceLabel = 1044;
inline constexpr int kLogPane = 1046;
inline constexpr int kModelLabel = 1047;
inline constexpr int kVersionLabel = 1048;
inline constexpr int kStatusLine = 1049;
inline constexpr int kIdentifyButton = 1050;
inline constexpr int kStopIdentifyButton = 1051;
inline constexpr int kRefreshButton = 1053;
inline constexpr int kDmxAddressEdit = 1054;
inline constexpr int kSetAddressButton = 1055;
inline constexpr int kRigButton = 1060;

// Dialog results.
inline constexpr int kResultOk = 1;
inline constexpr int kResultCancel = 2;

// The system-menu command of the About entry, its text, and the icon.
inline constexpr int kAboutCommand = 16;
inline constexpr const char* kAboutMenuText = "&About Peltrix...";
inline constexpr int kIconId = 128;

// The periodic timer that drives OnTick.
inline constexpr int kTickTimerId = 1;
inline constexpr int kTickPeriodMs = 10;
// Under the event pacing, while an update runs, a desktop window also looks at the line between
// the ticks: this timer's expiries reach OnTick with its identifier and take what waits.
inline constexpr int kLineWatchTimerId = 2;
inline constexpr int kLineWatchPeriodMs = 1;

// The progress bar's strip lies this many pixels above the log pane; the bar is this high.
inline constexpr int kProgressStripPixels = 30;
inline constexpr int kProgressBarPixels = 25;

}  // namespace quillmont
