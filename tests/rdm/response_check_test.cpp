// What a received frame is to the request it is checked against, from its class, PID, source
// and response type.
#include "rdm/response_check.h"

#include <gtest/gtest.h>

#include <vector>

#include "rdm/message.h"
#include "support/window_harness.h"

namespace quillmont {
namespace {

using testing::ResponseFrame;
using Kind = ResponseKind;

TEST(CheckResponse, TellsTheAnswerFromWhatOnlyLooksLikeOne) {
  const RdmUid fixture = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};
  const SentRequest get{fixture, GET_COMMAND, SOFTWARE_VERSION_LABEL};
  const auto check = [&](const std::vector<uint8_t>& frame) {
    return CheckResponse(get, RdmFrameView::Of(frame));
  };
  const auto reply = [&](const std::vector<uint8_t>& pd, uint8_t type) {
    return check(ResponseFrame(fixture, GET_COMMAND_RESPONSE, SOFTWARE_VERSION_LABEL, pd, type));
  };
  EXPECT_EQ(CheckResponse(get, std::nullopt).kind, Kind::kNoAnswer);
  EXPECT_TRUE(reply({'1', '.', '0'}, RESPONSE_TYPE_ACK).Acknowledged());

  const ResponseCheck timer = reply({0x00, 0x0F}, RESPONSE_TYPE_ACK_TIMER);
  EXPECT_EQ(timer.kind, Kind::kAckTimer);
  EXPECT_EQ(timer.delay_ms, 1500u);
  const ResponseCheck nack = reply({0x00, 0x06}, RESPONSE_TYPE_NACK_REASON);
  EXPECT_EQ(nack.kind, Kind::kNack);
  EXPECT_EQ(nack.nack_reason, NR_DATA_OUT_OF_RANGE);
  const ResponseCheck overflow = reply({'1', '.'}, RESPONSE_TYPE_ACK_OVERFLOW);
  EXPECT_EQ(overflow.kind, Kind::kAckOverflow);
  for (const ResponseCheck& answer : {timer, nack, overflow}) {
    EXPECT_TRUE(answer.Answers());
    EXPECT_FALSE(answer.Acknowledged());
  }
  EXPECT_EQ(reply({}, 0x04).kind, Kind::kNotAnAnswer) << "no response type E1.20 knows";

  const RdmUid other = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x79};
  EXPECT_EQ(check(ResponseFrame(other, GET_COMMAND_RESPONSE, SOFTWARE_VERSION_LABEL, {})).kind,
            Kind::kOtherUid);
  EXPECT_EQ(check(ResponseFrame(fixture, SET_COMMAND_RESPONSE, SOFTWARE_VERSION_LABEL, {})).kind,
            Kind::kNotAnAnswer);
  EXPECT_EQ(check(ResponseFrame(fixture, GET_COMMAND_RESPONSE, DMX_START_ADDRESS, {0, 1})).kind,
            Kind::kNotAnAnswer);
  // The request itself, heard back from an adapter that hears itself.
  std::vector<uint8_t> echo =
      ResponseFrame(kControllerUid, GET_COMMAND, SOFTWARE_VERSION_LABEL, {});
  EXPECT_EQ(check(echo).kind, Kind::kNotAnAnswer);
}

}  // namespace
}  // namespace quillmont
