// SPDX-License-Identifier: Apache-2.0
#include "rdm/message.h"

#include <cstring>

namespace quillmont {

uint16_t RdmChecksum(const uint8_t* bytes, size_t count) {
  uint16_t sum = 0;
  for (size_t i = 0; i < count; ++i) {
    sum = static_cast<uint16_t>(sum + bytes[i]);
  }
  return sum;
}

size_t BuildRdmFrame(const RdmFrameFields& fields, uint8_t* out) {
  if (fields.pdl > kRdmMaxPdl || (fields.pdl > 0 && fields.data == nullptr)) {
    return 0;
  }
  const size_t message_length = fields.pdl + kOffsetParameterData;
  out[kOffsetStartCode] = kRdmStartCode;
  out[kOffsetSubStartCode] = kRdmSubStartCode;
  out[kOffsetMessageLength] = static_cast<uint8_t>(message_length);
  std::memcpy(out + kOffsetDestination, fields.destination.data(), 6);
  std::memcpy(out + kOffsetSource, fields.source.data(), 6);
  out[kOffsetTransaction] = fields.transaction;
  out[kOffsetPortOrResponseType] = fields.port_or_response_type;
  out[kOffsetMessageCount] = fields.message_count;
  out[kOffsetSubDevice] = static_cast<uint8_t>(fields.sub_device >> 8);
  out[kOffsetSubDevice + 1] = static_cast<uint8_t>(fields.sub_device & 0xFF);
  out[kOffsetCommandClass] = fields.command_class;
  out[kOffsetPid] = static_cast<uint8_t>(fields.pid >> 8);
  out[kOffsetPid + 1] = static_cast<uint8_t>(fields.pid & 0xFF);
  out[kOffsetPdl] = fields.pdl;
  if (fields.pdl > 0) {
    std::memcpy(out + kOffsetParameterData, fields.data, fields.pdl);
  }
  const uint16_t sum = RdmChecksum(out, message_length);
  out[message_length] = static_cast<uint8_t>(sum >> 8);
  out[message_length + 1] = static_cast<uint8_t>(sum & 0xFF);
  return message_length + 2;
}

bool IsFrameChecksumGood(const uint8_t* frame, size_t size) {
  if (size <= 3) {
    return false;
  }
  const uint16_t sum = RdmChecksum(frame, size - 2);
  return frame[size - 2] == static_cast<uint8_t>(sum >> 8) &&
         frame[size - 1] == static_cast<uint8_t>(sum & 0xFF);
}

}  // namespace quillmont
