// SPDX-License-Identifier: Apache-2.0
// The RDM message layout (ANSI E1.20) shared by every request Quillmont sends and every response
// it reads: command classes, parameter IDs, byte offsets, the 16-bit additive checksum, and the
// receive rules that decide when a response frame is complete and good.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rdm/uid.h"

namespace quillmont {

inline constexpr uint8_t kRdmStartCode = 0xCC;
inline constexpr uint8_t kRdmSubStartCode = 0x01;

// Command classes.
inline constexpr uint8_t DISCOVERY_COMMAND = 0x10;
inline constexpr uint8_t DISCOVERY_COMMAND_RESPONSE = 0x11;
inline constexpr uint8_t GET_COMMAND = 0x20;
inline constexpr uint8_t GET_COMMAND_RESPONSE = 0x21;
inline constexpr uint8_t SET_COMMAND = 0x30;
inline constexpr uint8_t SET_COMMAND_RESPONSE = 0x31;

// Response types.
inline constexpr uint8_t RESPONSE_TYPE_ACK = 0x00;
inline constexpr uint8_t RESPONSE_TYPE_ACK_TIMER = 0x01;
inline constexpr uint8_t RESPONSE_TYPE_NACK_REASON = 0x02;
inline constexpr uint8_t RESPONSE_TYPE_ACK_OVERFLOW = 0x03;

// NACK reason codes (E1.20 table A-17).
inline constexpr uint16_t NR_UNKNOWN_PID = 0x0000;
inline constexpr uint16_t NR_FORMAT_ERROR = 0x0001;
inline constexpr uint16_t NR_HARDWARE_FAULT = 0x0002;
inline constexpr uint16_t NR_PROXY_REJECT = 0x0003;
inline constexpr uint16_t NR_WRITE_PROTECT = 0x0004;
inline constexpr uint16_t NR_UNSUPPORTED_COMMAND_CLASS = 0x0005;
inline constexpr uint16_t NR_DATA_OUT_OF_RANGE = 0x0006;
inline constexpr uint16_t NR_BUFFER_FULL = 0x0007;
inline constexpr uint16_t NR_PACKET_SIZE_UNSUPPORTED = 0x0008;
inline constexpr uint16_t NR_SUB_DEVICE_OUT_OF_RANGE = 0x0009;
inline constexpr uint16_t NR_PROXY_BUFFER_FULL = 0x000A;

// Parameter IDs.
inline constexpr uint16_t DISC_UNIQUE_BRANCH = 0x0001;
inline constexpr uint16_t DISC_MUTE = 0x0002;
inline constexpr uint16_t DISC_UN_MUTE = 0x0003;
inline constexpr uint16_t DEVICE_INFO = 0x0060;
inline constexpr uint16_t DEVICE_MODEL_DESCRIPTION = 0x0080;
inline constexpr uint16_t SOFTWARE_VERSION_LABEL = 0x00C0;
inline constexpr uint16_t DMX_START_ADDRESS = 0x00F0;
inline constexpr uint16_t IDENTIFY_DEVICE = 0x1000;
// Manufacturer-specific parameter that carries the bootloader commands.
inline constexpr uint16_t PID_BOOTLOADER = 0xCA55;

// Bootloader command bytes inside PID_BOOTLOADER parameter data.
inline constexpr uint8_t BOOT_SYNC = 0x55;
inline constexpr uint8_t BOOT_ENTER = 0xAA;
inline constexpr uint8_t BOOT_ERASE = 0xA1;
inline constexpr uint8_t BOOT_PROGRAM = 0xA4;

// Control-field bits of a DISC_MUTE / DISC_UN_MUTE answer (low byte).
inline constexpr uint8_t kControlBootLoader = 0x04;     // E1.20 Boot-Loader flag
inline constexpr uint8_t kControlLowBootLoader = 0x08;  // the low-bootloader mark

// Byte offsets in a frame, from the start code.
inline constexpr size_t kOffsetStartCode = 0;
inline constexpr size_t kOffsetSubStartCode = 1;
inline constexpr size_t kOffsetMessageLength = 2;
inline constexpr size_t kOffsetDestination = 3;
inline constexpr size_t kOffsetSource = 9;
inline constexpr size_t kOffsetTransaction = 15;
inline constexpr size_t kOffsetPortOrResponseType = 16;
inline constexpr size_t kOffsetMessageCount = 17;
inline constexpr size_t kOffsetSubDevice = 18;
inline constexpr size_t kOffsetCommandClass = 20;
inline constexpr size_t kOffsetPid = 21;
inline constexpr size_t kOffsetPdl = 23;
inline constexpr size_t kOffsetParameterData = 24;

// A frame is PDL + 26 bytes; requests are built in a 256-byte buffer, so PDL is at most 230.
inline constexpr size_t kRdmFrameOverhead = 26;
inline constexpr size_t kRdmFrameBufferSize = 256;
inline constexpr uint8_t kRdmMaxPdl = 230;
// Message lengths that a usable response can carry (its frame must fit in 256 bytes).
inline constexpr uint8_t kMinMessageLength = 24;
inline constexpr uint8_t kMaxMessageLength = 254;

// Source UID of every request that SendRdmRequest builds.
inline constexpr RdmUid kControllerUid = {0x4F, 0x4C, 0xFE, 0x01, 0x00, 0x00};

// Sum of `count` bytes as unsigned values, modulo 65536.
uint16_t RdmChecksum(const uint8_t* bytes, size_t count);

// Everything a frame carries besides its start codes, length and checksum.
struct RdmFrameFields {
  RdmUid destination{};
  RdmUid source{};
  uint8_t transaction = 0;
  uint8_t port_or_response_type = 0;
  uint8_t message_count = 0;
  uint16_t sub_device = 0;
  uint8_t command_class = 0;
  uint16_t pid = 0;
  const uint8_t* data = nullptr;  // read only when pdl > 0
  uint8_t pdl = 0;
};

// Builds the whole frame, checksum included, into `out` (at least 256 bytes). Returns the frame
// size (PDL + 26), or 0 (nothing written) when PDL is above 230 or PDL is above 0 with no data.
size_t BuildRdmFrame(const RdmFrameFields& fields, uint8_t* out);

// Receive rules. The frame size announced by the message-length byte.
inline constexpr int FrameSizeFromMessageLength(uint8_t message_length) {
  return static_cast<int>(message_length) + 2;
}
// Whether a message length can belong to a usable response (24 to 254).
inline constexpr bool IsUsableMessageLength(uint8_t message_length) {
  return message_length >= kMinMessageLength && message_length <= kMaxMessageLength;
}
// A complete frame of `size` bytes (more than 3) is good when the checksum of its first
// size - 2 bytes equals its last two bytes, high byte first.
bool IsFrameChecksumGood(const uint8_t* frame, size_t size);

}  // namespace quillmont
