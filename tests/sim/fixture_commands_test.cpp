// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim_bench.h"

namespace quillmont::testing {
namespace {

std::string Text(const std::vector<uint8_t>& frame) {
  const auto pd = ParameterData(frame);
  return std::string(pd.begin(), pd.end());
}

TEST(SimulatedFixtureCommands, GetDmxStartAddressIsAnsweredByteForByte) {
  SimBench bench;
  const std::vector<uint8_t> expected = {0xCC, 0x01, 0x1A, 0x4F, 0x4C, 0xFE, 0x01, 0x00, 0x00, 0x4F,
                                         0x4C, 0x12, 0x34, 0x56, 0x78, 0x00, 0x00, 0x00, 0x00, 0x00,
                                         0x21, 0x00, 0xF0, 0x02, 0x00, 0x01, 0x05, 0x44};
  EXPECT_EQ(bench.Exchange(GET_COMMAND, DMX_START_ADDRESS), expected);
}

TEST(SimulatedFixtureCommands, SetDmxStartAddressAcksOneTo512AndNacksTheRest) {
  SimBench bench;
  auto ack = bench.Exchange(SET_COMMAND, DMX_START_ADDRESS, {0x02, 0x00});
  ASSERT_EQ(ack.size(), 26u);
  EXPECT_EQ(ack[kOffsetCommandClass], SET_COMMAND_RESPONSE);
  EXPECT_EQ(ack[kOffsetPortOrResponseType], RESPONSE_TYPE_ACK);
  EXPECT_EQ(bench.fixture().dmx_start_address(), 512);

  for (std::vector<uint8_t> bad : {std::vector<uint8_t>{0x02, 0x01}, {0x00, 0x00}}) {
    const auto nack = bench.Exchange(SET_COMMAND, DMX_START_ADDRESS, bad);
    ASSERT_EQ(nack.size(), 28u);
    EXPECT_EQ(nack[kOffsetPortOrResponseType], RESPONSE_TYPE_NACK_REASON);
    EXPECT_EQ(ParameterData(nack), (std::vector<uint8_t>{0x00, 0x06}));
    EXPECT_EQ(nack[26], 0x05);
    EXPECT_EQ(nack[27], 0x5B);
  }
  EXPECT_EQ(bench.fixture().dmx_start_address(), 512);
  // A wrong length is a format error.
  EXPECT_EQ(ParameterData(bench.Exchange(SET_COMMAND, DMX_START_ADDRESS, {0x01})),
            (std::vector<uint8_t>{0x00, 0x01}));
}

TEST(SimulatedFixtureCommands, InformationGetsAnswerWithTheFixturesTexts) {
  SimBench bench;
  EXPECT_EQ(Text(bench.Exchange(GET_COMMAND, DEVICE_MODEL_DESCRIPTION)), "Quillmont Sim Spot");
  EXPECT_EQ(Text(bench.Exchange(GET_COMMAND, SOFTWARE_VERSION_LABEL)), "Quillmont demo app 1.0");
  const auto identify = bench.Exchange(SET_COMMAND, IDENTIFY_DEVICE, {0x01});
  ASSERT_EQ(identify.size(), 26u);
  EXPECT_EQ(identify[kOffsetCommandClass], SET_COMMAND_RESPONSE);
  EXPECT_TRUE(bench.fixture().identifying());
  // Unknown parameters and sub-devices are refused as E1.20 says.
  EXPECT_EQ(ParameterData(bench.Exchange(GET_COMMAND, 0x0082)), (std::vector<uint8_t>{0x00, 0x00}));
  // DEVICE_INFO: protocol 1.0, model 0x0100, category 0x0101, version ID 0x00010000, footprint
  // 16, personality 1 of 1, address 1, no sub-devices, no sensors.
  EXPECT_EQ(ParameterData(bench.Exchange(GET_COMMAND, DEVICE_INFO)),
            (std::vector<uint8_t>{0x01, 0x00, 0x01, 0x00, 0x01, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00,
                                  0x10, 0x01, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00}));
  bench.Send(GET_COMMAND, DMX_START_ADDRESS, {}, kFixtureUid, 3);
  const auto sub = bench.ReadFrame();
  EXPECT_EQ(ParameterData(sub), (std::vector<uint8_t>{0x00, 0x09}));
  EXPECT_EQ(sub[kOffsetSubDevice + 1], 3);
}

TEST(SimulatedFixtureCommands, ResponseAddressesTheSenderAndCopiesTheTransaction) {
  SimBench bench;
  uint8_t frame[kRdmFrameBufferSize] = {};
  RdmFrameFields fields;
  fields.destination = kFixtureUid;
  fields.source = {0x12, 0x34, 0x00, 0x00, 0x00, 0x07};
  fields.transaction = 0x42;
  fields.command_class = GET_COMMAND;
  fields.pid = DMX_START_ADDRESS;
  const size_t size = BuildRdmFrame(fields, frame);
  ASSERT_TRUE(SendBreak(bench.io, bench.link));
  uint32_t written = 0;
  bench.line.FT_Write(bench.link, frame, static_cast<uint32_t>(size), &written);
  const auto reply = bench.ReadFrame();
  ASSERT_EQ(reply.size(), 28u);
  EXPECT_EQ(std::vector<uint8_t>(reply.begin() + 3, reply.begin() + 9),
            std::vector<uint8_t>(fields.source.begin(), fields.source.end()));
  EXPECT_EQ(std::vector<uint8_t>(reply.begin() + 9, reply.begin() + 15),
            std::vector<uint8_t>(kFixtureUid.begin(), kFixtureUid.end()));
  EXPECT_EQ(reply[kOffsetTransaction], 0x42);
}

TEST(SimulatedFixtureCommands, OtherUidsBroadcastsAndBrokenFramesGetNoReply) {
  SimBench bench;
  const RdmUid other = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x79};
  bench.Send(GET_COMMAND, DMX_START_ADDRESS, {}, other);
  // A broadcast SET is carried out but not answered.
  bench.Send(SET_COMMAND, DMX_START_ADDRESS, {0x00, 0x21}, kBroadcastUid);
  const RdmUid maker_broadcast = {0x4F, 0x4C, 0xFF, 0xFF, 0xFF, 0xFF};
  bench.Send(SET_COMMAND, IDENTIFY_DEVICE, {0x01}, maker_broadcast);
  // A frame with a bad checksum.
  uint8_t frame[kRdmFrameBufferSize] = {};
  RdmFrameFields fields;
  fields.destination = kFixtureUid;
  fields.command_class = GET_COMMAND;
  fields.pid = DMX_START_ADDRESS;
  const size_t size = BuildRdmFrame(fields, frame);
  frame[size - 1] ^= 1;
  bench.WaitUntilSent();
  ASSERT_TRUE(SendBreak(bench.io, bench.link));
  uint32_t written = 0;
  bench.line.FT_Write(bench.link, frame, static_cast<uint32_t>(size), &written);
  bench.clock.SleepMs(50);
  EXPECT_EQ(bench.Waiting(), 0u);
  EXPECT_EQ(bench.fixture().dmx_start_address(), 0x21);
  EXPECT_TRUE(bench.fixture().identifying());
}

}  // namespace
}  // namespace quillmont::testing
