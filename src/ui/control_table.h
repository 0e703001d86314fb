// SPDX-License-Identifier: Apache-2.0
// The main window's template: every control with its ID, name, kind, initial text, place and
// size in dialog units and alignment, in creation order, which is also the tab order.
#pragma once

#include <QString>
#include <Qt>
#include <span>

namespace quillmont::ui {

enum class ControlKind { PushButton, Edit, Static, UpDown, LogEdit, ComboDropDown };

struct ControlSpec {
  int id;  // 0 for the plain labels that have no ID of their own
  const char* name;
  ControlKind kind;
  const char* text;
  int x, y, width, height;  // dialog units
  Qt::Alignment alignment;
  bool visible;
};

// The main window's client area in dialog units.
inline constexpr int kMainClientWidthDlu = 347;
inline constexpr int kMainClientHeightDlu = 284;
inline constexpr const char* kMainCaption = "Quillmont - V3.20";

std::span<const ControlSpec> MainWindowControls();

// A button's text with its Alt-letter mark ("&Update Firmware"), for the texts the core writes;
// any other text as it is. The letter R is left to the Rig button. WithoutMnemonic gives the core's
// text back.
QString WithMnemonic(const QString& text);
QString WithoutMnemonic(QString text);

// StatusLine is shown two lines high (its template height is one line), so that the longest
// status text is not cut off.
inline constexpr int kStatusLineShownHeightDlu = 16;

// FrameView is shown this high (its template height is 40): its last line then stays clear of the
// progress bar's strip above the log pane at every scale.
inline constexpr int kFrameViewShownHeightDlu = 36;

// A window made lower than the template's shrinks the log pane down to this height first; below
// that the free bands between the rows above it narrow, each down to this gap.
inline constexpr int kLogPaneLeastHeightDlu = 48;
inline constexpr int kLeastRowGapDlu = 3;

// ModelLabel and VersionLabel are shown this wide (their template widths are 100 and 85): the
// strip to their right is free up to the "Dmx Addr:" caption, and a version such as "Quillmont
// Sim Bootloader 1.0" then fits whole. A text longer still is elided, whole in its tooltip.
inline constexpr int kDeviceLabelShownWidthDlu = 105;

// The "?" button that opens the about box, between StatusLine and Exit.
inline constexpr int kHelpButtonXDlu = 270;
inline constexpr int kHelpButtonYDlu = 10;
inline constexpr int kHelpButtonSizeDlu = 14;

// The about box: its size in dialog units, caption and the places of its three controls.
inline constexpr int kAboutWidthDlu = 235;
inline constexpr int kAboutHeightDlu = 59;
inline constexpr const char* kAboutCaption = "Quillmont";
inline constexpr const char* kAboutText = "Quillmont 3.20";

}  // namespace quillmont::ui
