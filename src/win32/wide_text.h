// SPDX-License-Identifier: Apache-2.0
// Texts between the core (UTF-8 in std::string) and the Windows API (UTF-16). A byte sequence
// that is not UTF-8 (a label a fixture sends may be anything) becomes U+FFFD, never a failure.
#pragma once

#include <string>
#include <string_view>

namespace quillmont::win32 {

std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

}  // namespace quillmont::win32
