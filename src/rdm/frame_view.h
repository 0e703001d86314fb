// SPDX-License-Identifier: Apache-2.0
// A decoded view of one RDM frame (request or response), from its start code to its checksum.
// Every reader of a frame goes through it, so that "how many parameter-data bytes does this
// frame really hold" is answered in one place: the data is bounded both by the PDL the frame
// announces and by the bytes it holds before its checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "rdm/byte_order.h"
#include "rdm/message.h"
#include "rdm/uid.h"

namespace quillmont {

class RdmFrameView {
 public:
  // A view of `frame` (the bytes of one frame, checksum included), or nothing when it is too
  // short to hold the header and the checksum (26 bytes). Neither the start codes nor the
  // checksum are checked here: the receiver has done that.
  static std::optional<RdmFrameView> Of(std::span<const uint8_t> frame);

  std::span<const uint8_t> bytes() const { return frame_; }
  uint8_t message_length() const { return frame_[kOffsetMessageLength]; }
  RdmUid destination() const { return UidAt(kOffsetDestination); }
  RdmUid source() const { return UidAt(kOffsetSource); }
  uint8_t transaction() const { return frame_[kOffsetTransaction]; }
  // The response type of a response, the port ID of a request.
  uint8_t response_type() const { return frame_[kOffsetPortOrResponseType]; }
  uint8_t port_id() const { return frame_[kOffsetPortOrResponseType]; }
  uint8_t message_count() const { return frame_[kOffsetMessageCount]; }
  uint16_t sub_device() const { return GetBe16(&frame_[kOffsetSubDevice]); }
  uint8_t command_class() const { return frame_[kOffsetCommandClass]; }
  uint16_t pid() const { return GetBe16(&frame_[kOffsetPid]); }
  // The PDL as the frame announces it; data() may hold fewer bytes.
  uint8_t pdl() const { return frame_[kOffsetPdl]; }
  // The parameter data: at most PDL bytes, and never more than the frame holds before its
  // checksum.
  std::span<const uint8_t> data() const { return data_; }

  bool Is(uint8_t command_class, uint16_t pid) const {
    return this->command_class() == command_class && this->pid() == pid;
  }
  bool IsAck() const { return response_type() == RESPONSE_TYPE_ACK; }
  bool IsNack() const { return response_type() == RESPONSE_TYPE_NACK_REASON; }
  // The reason of a NACK; NR_UNKNOWN_PID's value when the frame holds none.
  uint16_t nack_reason() const { return data_.size() >= 2 ? GetBe16(data_.data()) : 0; }

 private:
  explicit RdmFrameView(std::span<const uint8_t> frame);
  RdmUid UidAt(size_t offset) const;

  std::span<const uint8_t> frame_;
  std::span<const uint8_t> data_;
};

// The E1.20 name of a NACK reason code ("NR_DATA_OUT_OF_RANGE"), or "NR_0x1234" for a code
// E1.20 does not name.
std::string NackReasonName(uint16_t reason);

}  // namespace quillmont
