// SPDX-License-Identifier: Apache-2.0
// The bootloader's erase and program requests, as they travel in the parameter data of
// PID_BOOTLOADER, written and read in this one place.
//
//   erase:   55 A1, address (4 bytes), checksum of the 3 words before it (4 bytes)    PDL 10
//   program: 55 A4, address | 0x80000000 (4 bytes), length n (2 bytes), n bytes,
//            checksum of the n/2 + 4 words before it (4 bytes)                       PDL n + 12
//
// Addresses and lengths are big-endian; the checksum is the word sum of WordSumChecksum
// (little-endian words, the sum written most significant byte first). The bootloader
// acknowledges a program request by echoing its parameter data whole in a GET response.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace quillmont {

inline constexpr size_t kEraseRequestSize = 10;
inline constexpr size_t kProgramHeaderSize = 8;        // sync, command, address, length
inline constexpr size_t kProgramRequestOverhead = 12;  // the header and the checksum
// A program request carries its address with this bit set.
inline constexpr uint32_t kProgramAddressFlag = 0x80000000u;

// Writes the erase request for `address` into `out`. Returns its size (the PDL), or 0 when
// `out` is too small.
size_t WriteEraseRequest(uint32_t address, std::span<uint8_t> out);

// Writes the program request that puts `data` at `address` into `out`. Returns its size (the
// PDL), or 0 when `out` is too small or `data` holds more than 0xFFFF bytes.
size_t WriteProgramRequest(uint32_t address, std::span<const uint8_t> data, std::span<uint8_t> out);

// The address of a whole erase request: exactly 10 bytes, sync and erase command, and a checksum
// that holds. Nothing otherwise.
std::optional<uint32_t> ReadEraseRequest(std::span<const uint8_t> pd);

// What a program request (or its echo) names and holds.
struct ProgramRequest {
  uint32_t address = 0;           // with the flag taken off
  std::span<const uint8_t> data;  // as many bytes as the length field announces
};

// Reads the header of a program request or of its echo: sync, program command, an address with
// the flag set, and at least the announced bytes after the header. The checksum and the size
// beyond the data are not judged. Nothing when `pd` holds less.
std::optional<ProgramRequest> ReadProgramHeader(std::span<const uint8_t> pd);

// A whole program request as a bootloader takes it: its header as above, an even length, exactly
// length + 12 bytes, and a checksum that holds. Nothing otherwise.
std::optional<ProgramRequest> ReadProgramRequest(std::span<const uint8_t> pd);

// Whether `echo` (the parameter data of a program acknowledgement) names `address` and holds
// exactly `chunk`, the bytes last sent there.
bool ProgramEchoMatches(std::span<const uint8_t> echo, uint32_t address,
                        std::span<const uint8_t> chunk);

}  // namespace quillmont
