// SPDX-License-Identifier: Apache-2.0
// Numbers on quillmont-cli's command line are decimal: "017" is 17, as fixtures show their
// address zero-padded. Without this the parser would read a leading zero as octal and take
// "0x11" as hexadecimal.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace quillmont::cli {

// A transform for a numeric option: decimal digits only, leading zeros dropped before the
// number is read.
inline CLI::Validator DecimalNumber() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
          return "a decimal number is wanted, not \"" + text + "\"";
        }
        const size_t first = text.find_first_not_of('0');
        text = first == std::string::npos ? "0" : text.substr(first);
        return {};
      },
      "DECIMAL");
}

}  // namespace quillmont::cli
