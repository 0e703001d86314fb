// SPDX-License-Identifier: Apache-2.0
// Any byte stream into the simulator's request framer, cut into pieces the input picks: every
// frame it hands on is a whole request with a good checksum, it never holds more than one frame,
// and after any stream, 256 zero bytes and a good request, that request comes out.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "rdm/message.h"
#include "sim/request_stream.h"

namespace {

void CheckFrame(const uint8_t* frame, size_t size) {
  FUZZ_CHECK(size >= quillmont::kRdmFrameOverhead && size <= quillmont::kRdmFrameBufferSize);
  FUZZ_CHECK(frame[0] == quillmont::kRdmStartCode);
  FUZZ_CHECK(frame[1] == quillmont::kRdmSubStartCode);
  FUZZ_CHECK(static_cast<size_t>(frame[2]) + 2 == size);
  FUZZ_CHECK(quillmont::IsFrameChecksumGood(frame, size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillmont;
  if (size == 0) {
    return 0;
  }
  RequestStreamParser parser;
  const auto on_frame = [](const uint8_t* frame, size_t frame_size) {
    CheckFrame(frame, frame_size);
  };
  // Byte 0 picks the piece size (1 to 64): a pty hands the bytes over in pieces of any size.
  const size_t piece = data[0] % 64 + 1;
  for (size_t at = 1; at < size; at += piece) {
    const size_t n = std::min(piece, size - at);
    const std::vector<uint8_t> bytes(data + at, data + at + n);
    parser.Feed(bytes.data(), bytes.size(), on_frame);
    FUZZ_CHECK(parser.buffered() <= kRdmFrameBufferSize);
  }

  const std::vector<uint8_t> zeros(256, 0x00);
  parser.Feed(zeros.data(), zeros.size(), on_frame);

  RdmFrameFields fields;
  fields.destination = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};
  fields.source = kControllerUid;
  fields.command_class = GET_COMMAND;
  fields.pid = DEVICE_MODEL_DESCRIPTION;
  std::vector<uint8_t> request(kRdmFrameBufferSize);
  request.resize(BuildRdmFrame(fields, request.data()));
  std::vector<std::vector<uint8_t>> frames;
  parser.Feed(request.data(), request.size(), [&](const uint8_t* frame, size_t frame_size) {
    CheckFrame(frame, frame_size);
    frames.emplace_back(frame, frame + frame_size);
  });
  FUZZ_CHECK(frames.size() == 1);
  FUZZ_CHECK(frames[0] == request);
  return 0;
}
