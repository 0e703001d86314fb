// SPDX-License-Identifier: Apache-2.0
#include "win32/wide_text.h"

#include <windows.h>

#include <climits>

namespace quillmont::win32 {

std::wstring Widen(std::string_view text) {
  if (text.empty() || text.size() > INT_MAX) {
    return {};
  }
  const int size = static_cast<int>(text.size());
  const int wanted = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(wanted > 0 ? wanted : 0), L'\0');
  if (wanted > 0) {
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), wanted);
  }
  return wide;
}

std::string Narrow(std::wstring_view text) {
  if (text.empty() || text.size() > INT_MAX) {
    return {};
  }
  const int size = static_cast<int>(text.size());
  const int wanted =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(wanted > 0 ? wanted : 0), '\0');
  if (wanted > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), wanted, nullptr, nullptr);
  }
  return narrow;
}

}  // namespace quillmont::win32
