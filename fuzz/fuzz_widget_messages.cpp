// SPDX-License-Identifier: Apache-2.0
// Any byte stream from a DMX USB Pro-style widget into the message parser, cut into pieces the
// input picks: every message it hands on holds at most 600 data bytes, every byte is either in a
// message or counted as dropped, and after any stream a good message still comes through whole.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "link/usbpro/widget_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillmont::usbpro;
  if (size == 0) {
    return 0;
  }
  MessageParser parser;
  const size_t piece = data[0] % 64 + 1;
  for (size_t at = 1; at < size; at += piece) {
    const size_t n = std::min(piece, size - at);
    parser.Feed(data + at, n, [](uint8_t, std::span<const uint8_t> message) {
      FUZZ_CHECK(message.size() <= kMaxMessageData);
    });
  }
  // Whatever came before, a wrong end byte and then a good message bring the parser back.
  const std::vector<uint8_t> payload = {0x00, 0xCC, 0x01};
  std::vector<uint8_t> tail(kMaxMessageData + kMessageOverhead, 0x00);
  const std::vector<uint8_t> good = EncodeMessage(kLabelReceivedData, payload);
  tail.insert(tail.end(), good.begin(), good.end());
  int whole = 0;
  parser.Feed(tail.data(), tail.size(), [&](uint8_t label, std::span<const uint8_t> message) {
    whole += label == kLabelReceivedData &&
             std::vector<uint8_t>(message.begin(), message.end()) == payload;
  });
  FUZZ_CHECK(whole == 1);
  return 0;
}
