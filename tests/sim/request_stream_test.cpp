// SPDX-License-Identifier: Apache-2.0
#include "sim/request_stream.h"

#include <gtest/gtest.h>

#include <vector>

#include "rdm/message.h"

namespace quillmont {
namespace {

std::vector<uint8_t> Frame(uint16_t pid, std::vector<uint8_t> pd = {}) {
  RdmFrameFields fields;
  fields.destination = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};
  fields.source = kControllerUid;
  fields.command_class = GET_COMMAND;
  fields.pid = pid;
  fields.data = pd.data();
  fields.pdl = static_cast<uint8_t>(pd.size());
  std::vector<uint8_t> frame(kRdmFrameBufferSize);
  frame.resize(BuildRdmFrame(fields, frame.data()));
  return frame;
}

std::vector<std::vector<uint8_t>> FeedAll(RequestStreamParser& parser,
                                          const std::vector<uint8_t>& stream, size_t piece) {
  std::vector<std::vector<uint8_t>> frames;
  for (size_t at = 0; at < stream.size(); at += piece) {
    const size_t n = std::min(piece, stream.size() - at);
    parser.Feed(stream.data() + at, n,
                [&](const uint8_t* f, size_t size) { frames.emplace_back(f, f + size); });
  }
  return frames;
}

TEST(RequestStreamParser, FramesBackToBackRequestsFedInAnyPieces) {
  const auto a = Frame(DEVICE_MODEL_DESCRIPTION);
  const auto b = Frame(DMX_START_ADDRESS, {0x00, 0x10});
  std::vector<uint8_t> stream = a;
  stream.insert(stream.end(), b.begin(), b.end());
  for (size_t piece : {1u, 7u, 64u}) {
    RequestStreamParser parser;
    EXPECT_EQ(FeedAll(parser, stream, piece), (std::vector<std::vector<uint8_t>>{a, b})) << piece;
    EXPECT_EQ(parser.dropped(), 0u);
    EXPECT_EQ(parser.buffered(), 0u);
  }
}

TEST(RequestStreamParser, ResynchronisesOnGarbageFalseStartsAndBadChecksums) {
  const auto good = Frame(SOFTWARE_VERSION_LABEL);
  auto bad = Frame(DMX_START_ADDRESS);
  bad.back() ^= 0xFF;
  std::vector<uint8_t> stream = {0x00, 0x55, 0xCC, 0x01, 0x05,  // too short a length
                                 0xCC, 0x02,                    // a wrong sub-start code
                                 0xCC, 0x01, 0xFE, 0x00};       // a length that swallows
  stream.insert(stream.end(), bad.begin(), bad.end());
  stream.insert(stream.end(), good.begin(), good.end());
  stream.insert(stream.end(), good.begin(), good.end());
  RequestStreamParser parser;
  // The false start CC 01 FE would wait for 256 bytes; the good frame behind it is taken as
  // soon as its last byte is in.
  std::vector<std::vector<uint8_t>> frames;
  const size_t first_good_end = stream.size() - good.size();
  frames =
      FeedAll(parser, std::vector<uint8_t>(stream.begin(), stream.begin() + first_good_end), 1);
  ASSERT_EQ(frames.size(), 1u);
  const auto rest =
      FeedAll(parser, std::vector<uint8_t>(stream.begin() + first_good_end, stream.end()), 1);
  frames.insert(frames.end(), rest.begin(), rest.end());
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0], good);
  EXPECT_EQ(frames[1], good);
  EXPECT_GT(parser.dropped(), 0u);
  EXPECT_LE(parser.buffered(), kRdmFrameBufferSize);
}

}  // namespace
}  // namespace quillmont
