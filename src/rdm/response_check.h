// SPDX-License-Identifier: Apache-2.0
// Whether a received frame answers a request, and how: the one check every reader of responses
// makes (the window's tick and its update, the transactions of a rig survey). E1.20 gives a
// response one of four types, and only an ACK acknowledges: an ACK_TIMER says the answer will
// come later, an ACK_OVERFLOW that it continues in another frame, a NACK that the request was
// refused.
#pragma once

#include <cstdint>
#include <optional>

#include "rdm/frame_view.h"
#include "rdm/uid.h"

namespace quillmont {

// What a response is checked against: the request as it went out.
struct SentRequest {
  RdmUid destination{};
  uint8_t command_class = 0;  // DISCOVERY_COMMAND, GET_COMMAND or SET_COMMAND
  uint16_t pid = 0;
};

enum class ResponseKind {
  kNoAnswer,     // nothing came
  kNotAnAnswer,  // a frame, but not a response to this request: another command class or
                 // PID, or a response type E1.20 does not know
  kOtherUid,     // a response of the request's class and PID, from a UID it was not sent to
  kAck,          // the answer
  kAckTimer,     // the answer will come later (delay_ms); nothing is acknowledged yet
  kNack,         // refused, with its reason (nack_reason)
  kAckOverflow,  // the first part of an answer too long for one frame; no acknowledgement
};

struct ResponseCheck {
  ResponseKind kind = ResponseKind::kNoAnswer;
  uint16_t nack_reason = 0;  // kNack: the E1.20 reason code
  uint32_t delay_ms = 0;     // kAckTimer: the fixture's estimate (sent in tenths of a second)

  // A response to the request from the UID it went to, whatever its type.
  bool Answers() const {
    return kind == ResponseKind::kAck || kind == ResponseKind::kAckTimer ||
           kind == ResponseKind::kNack || kind == ResponseKind::kAckOverflow;
  }
  bool Acknowledged() const { return kind == ResponseKind::kAck; }
};

// Checks `frame` (nothing when nothing came) against `request`: its command class must be the
// request's plus one and its PID the request's, its source UID the request's destination. The
// frame's own destination, transaction number and sub-device are not looked at. A NACK without
// a reason reads as NR_UNKNOWN_PID, an ACK_TIMER without a delay as 0 ms.
ResponseCheck CheckResponse(const SentRequest& request, const std::optional<RdmFrameView>& frame);

// The request of ours that `frame` would answer, were it a response: sent to `destination`,
// with the frame's command class less one and its PID. What a reader that does not keep its
// requests checks a frame against to learn whether it comes from the UID it talks to.
SentRequest RequestAnsweredBy(const RdmFrameView& frame, const RdmUid& destination);

}  // namespace quillmont
