// SPDX-License-Identifier: Apache-2.0
// The baud rates offered in BaudCombo, in their order, and the rate used when no settings file
// says otherwise.
#pragma once

#include <array>

namespace quillmont {

inline constexpr std::array<const char*, 14> kBaudList = {
    "150",   "300",   "600",   "1200",   "2400",   "4800",   "9600",
    "19200", "38400", "57600", "115200", "250000", "500000", "1000000"};

inline constexpr const char* kDefaultBaudText = "250000";

// Rates below this are never applied to the adapter; it keeps its own rate.
inline constexpr int kMinAppliedBaud = 300;

}  // namespace quillmont
