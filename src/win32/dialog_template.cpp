// SPDX-License-Identifier: Apache-2.0
#include "win32/dialog_template.h"

#include <cstring>

namespace quillmont::win32 {

namespace {

// DLGTEMPLATEEX's fixed members up to the number of items, then its place and size.
constexpr WORD kTemplateVersion = 1;
constexpr WORD kExtendedSignature = 0xFFFF;
constexpr WORD kOrdinal = 0xFFFF;

}  // namespace

DialogTemplate::DialogTemplate(const DialogFrame& frame) {
  Word(kTemplateVersion);
  Word(kExtendedSignature);
  Dword(0);  // help ID
  Dword(frame.ex_style);
  Dword(frame.style);
  count_at_ = words_.size();
  Word(0);  // the number of controls, counted by Add
  Word(0);  // x, y: placed by DS_CENTER
  Word(0);
  Word(static_cast<WORD>(frame.width));
  Word(static_cast<WORD>(frame.height));
  Word(0);  // no menu
  Word(0);  // the dialog class
  Text(frame.caption);
  if ((frame.style & (DS_SETFONT | DS_SHELLFONT)) != 0) {
    Word(frame.point_size);
    Word(FW_NORMAL);
    Word(0);  // not italic; the default character set
    Text(frame.typeface);
  }
}

void DialogTemplate::Dword(DWORD value) {
  Word(static_cast<WORD>(value & 0xFFFF));
  Word(static_cast<WORD>(value >> 16));
}

void DialogTemplate::Text(const wchar_t* text) {
  for (const wchar_t* at = text; at != nullptr && *at != L'\0'; ++at) {
    Word(static_cast<WORD>(*at));
  }
  Word(0);
}

void DialogTemplate::AlignToDword() {
  if (words_.size() % 2 != 0) {
    Word(0);
  }
}

void DialogTemplate::Add(const ControlTemplate& control) {
  AlignToDword();
  Dword(0);  // help ID
  Dword(0);  // extended style
  Dword(WS_CHILD | (control.visible ? WS_VISIBLE : 0) | control.style);
  Word(static_cast<WORD>(control.x));
  Word(static_cast<WORD>(control.y));
  Word(static_cast<WORD>(control.width));
  Word(static_cast<WORD>(control.height));
  Dword(static_cast<DWORD>(control.id));
  if (control.control_class == ControlClass::kNamed) {
    Text(control.class_name);
  } else {
    Word(kOrdinal);
    Word(static_cast<WORD>(control.control_class));
  }
  if (control.resource != 0) {
    Word(kOrdinal);
    Word(control.resource);
  } else {
    Text(control.text);
  }
  Word(0);  // no creation data
  ++words_[count_at_];
}

const DLGTEMPLATE* DialogTemplate::get() {
  aligned_.assign((words_.size() + 1) / 2, 0);
  std::memcpy(aligned_.data(), words_.data(), words_.size() * sizeof(WORD));
  return reinterpret_cast<const DLGTEMPLATE*>(aligned_.data());
}

}  // namespace quillmont::win32
