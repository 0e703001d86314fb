// SPDX-License-Identifier: Apache-2.0
// An in-memory dialog template (DLGTEMPLATEEX, as a resource compiler writes one): the dialog's
// style, place and size in dialog units, caption and font, then its controls in creation order,
// which is also the tab order. DialogBoxIndirectParam and CreateDialogIndirectParam take it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace quillmont::win32 {

// The predefined window classes a template names by number.
enum class ControlClass : WORD {
  kButton = 0x0080,
  kEdit = 0x0081,
  kStatic = 0x0082,
  kComboBox = 0x0085,
  kNamed = 0,  // a registered class named in ControlTemplate::class_name
};

struct ControlTemplate {
  int id;  // -1 for the labels that have no ID of their own
  ControlClass control_class;
  const wchar_t* class_name;  // for kNamed
  const wchar_t* text;        // null for none
  WORD resource;              // instead of a text: a resource number (an icon control's icon)
  DWORD style;                // WS_CHILD and WS_VISIBLE are the template's to add
  bool visible;
  short x, y, width, height;  // dialog units
};

struct DialogFrame {
  DWORD style;
  DWORD ex_style;
  short width, height;  // the client area, in dialog units
  const wchar_t* caption;
  WORD point_size;
  const wchar_t* typeface;
};

class DialogTemplate {
 public:
  explicit DialogTemplate(const DialogFrame& frame);
  void Add(const ControlTemplate& control);
  // The template, DWORD-aligned as the dialog manager wants it; valid until the next Add.
  const DLGTEMPLATE* get();

 private:
  void Word(WORD value) { words_.push_back(value); }
  void Dword(DWORD value);
  void Text(const wchar_t* text);
  void AlignToDword();

  std::vector<WORD> words_;
  std::vector<DWORD> aligned_;
  size_t count_at_ = 0;
};

}  // namespace quillmont::win32
