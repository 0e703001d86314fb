// SPDX-License-Identifier: Apache-2.0
// Single-device discovery: one DISC_UNIQUE_BRANCH over the whole UID range, whose one answer is
// decoded. The range is never split and no device is muted; when several devices answer, their
// answers collide and the checksum fails.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/line.h"
#include "rdm/uid.h"

namespace quillmont {

// DISC_UN_MUTE to all devices (source 4F 4C FF 00 00 00), checksum included.
inline constexpr std::array<uint8_t, 26> kUnMuteAllFrame = {
    0xCC, 0x01, 0x18, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x4F, 0x4C, 0xFF, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x03, 0x00, 0x08, 0x8C};

// DISC_UNIQUE_BRANCH from 0000:00000000 to FFFF:FFFFFFFF, checksum included.
inline constexpr std::array<uint8_t, 38> kDiscUniqueBranchFrame = {
    0xCC, 0x01, 0x24, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x4F, 0x4C, 0xFF, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x01, 0x0C, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0E, 0x9C};

inline constexpr uint8_t kDiscoverySeparator = 0xAA;
inline constexpr uint8_t kDiscoveryPreamble = 0xFE;
inline constexpr int kDrainReads = 200;
// Bytes of an encoded answer after the separator: 6 UID pairs and 2 checksum pairs.
inline constexpr size_t kDiscoveryPairBytes = 16;

// Break, then the broadcast un-mute. Returns the FT_STATUS of the write.
FT_STATUS SendUnMuteAll(LineIo& io, LinkHandle& link);

// Drains the line, sends the discovery request and decodes the answer into `target`.
// 0: one device answered validly; -1: no valid answer; -2: the line did not fall quiet.
int16_t DiscoverSingleDevice(LineIo& io, LinkHandle& link, RdmUid& target);

// The 16 bytes after a discovery answer's separator. Each value byte v goes out as the pair
// (v OR 0xAA, v OR 0x55) and reads back as (first AND 0x55) OR (second AND 0xAA); pairs 1 to 6
// carry the UID, pairs 7 and 8 the sum of the 12 UID pair bytes as received, high byte first.
struct DiscoveryPairs {
  RdmUid uid{};
  bool checksum_holds = false;
  // Every UID pair has the bits its encoding sets: a collision or a corrupted byte often
  // clears one.
  bool well_formed = false;
};
DiscoveryPairs DecodeDiscoveryPairs(const uint8_t* pairs);

// Decodes an encoded discovery answer of `count` bytes (the separator sought at indexes 3 to
// 10). The UID bytes are written into `target` as they are decoded. 0 when the answer is
// complete and its checksum holds, -1 otherwise (fewer than 20 bytes, no separator, fewer than
// 16 bytes after the separator, or a checksum mismatch).
int16_t DecodeDiscoveryAnswer(const uint8_t* bytes, int count, RdmUid& target);

// Encodes the answer a device sends: `preamble` bytes 0xFE (0 to 7), 0xAA, then the 8 pairs.
// Writes preamble + 17 bytes into `out` and returns that count.
size_t EncodeDiscoveryAnswer(const RdmUid& uid, int preamble, uint8_t* out);

}  // namespace quillmont
