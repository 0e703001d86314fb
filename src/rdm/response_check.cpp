// SPDX-License-Identifier: Apache-2.0
#include "rdm/response_check.h"

#include "rdm/byte_order.h"
#include "rdm/message.h"

namespace quillmont {
namespace {

// E1.20 gives an ACK_TIMER's delay in tenths of a second.
constexpr uint32_t kAckTimerUnitMs = 100;

}  // namespace

ResponseCheck CheckResponse(const SentRequest& request, const std::optional<RdmFrameView>& frame) {
  if (!frame) {
    return ResponseCheck{ResponseKind::kNoAnswer};
  }
  if (!frame->Is(static_cast<uint8_t>(request.command_class + 1), request.pid)) {
    return ResponseCheck{ResponseKind::kNotAnAnswer};
  }
  if (frame->source() != request.destination) {
    return ResponseCheck{ResponseKind::kOtherUid};
  }
  const auto data = frame->data();
  switch (frame->response_type()) {
    case RESPONSE_TYPE_ACK:
      return ResponseCheck{ResponseKind::kAck};
    case RESPONSE_TYPE_ACK_TIMER:
      return ResponseCheck{ResponseKind::kAckTimer, 0,
                           data.size() >= 2 ? GetBe16(data.data()) * kAckTimerUnitMs : 0};
    case RESPONSE_TYPE_NACK_REASON:
      return ResponseCheck{ResponseKind::kNack, frame->nack_reason()};
    case RESPONSE_TYPE_ACK_OVERFLOW:
      return ResponseCheck{ResponseKind::kAckOverflow};
    default:
      return ResponseCheck{ResponseKind::kNotAnAnswer};
  }
}

SentRequest RequestAnsweredBy(const RdmFrameView& frame, const RdmUid& destination) {
  return SentRequest{destination, static_cast<uint8_t>(frame.command_class() - 1), frame.pid()};
}

}  // namespace quillmont
