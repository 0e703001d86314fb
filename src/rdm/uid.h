// The 6-byte RDM UID: the 16-bit manufacturer ID, then the 32-bit device ID, most significant
// byte first, copied into frames unchanged.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quillmont {

using RdmUid = std::array<uint8_t, 6>;

inline constexpr RdmUid kBroadcastUid = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// "%02X %02X %02X %02X %02X %02X", the way the window shows a UID.
std::string FormatUid(const RdmUid& uid);

}  // namespace quillmont
