// SPDX-License-Identifier: Apache-2.0
// A simulated line with one adapter (as real ones behave, unless told otherwise) and one default
// fixture, opened through the real line access and set to 250000 baud, on a virtual clock; with
// helpers that send a request through the real request builder and read one response frame back.
#pragma once

#include <cstdint>
#include <sstream>
#include <vector>

#include "link/clock.h"
#include "link/line.h"
#include "rdm/message.h"
#include "rdm/request.h"
#include "sim/simulated_line.h"

namespace quillmont::testing {

inline constexpr RdmUid kFixtureUid = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};

struct SimBench {
  explicit SimBench(const FixtureConfig& config = {}, const AdapterModel& model = {})
      : line(clock, model) {
    line.AddAdapter();
    line.AddFixture(0, config);
    EXPECT_TRUE(OpenLink(io, link, 0));
    EXPECT_TRUE(SetLinkBaud(io, link, 250000));
  }

  SimulatedFixture& fixture() { return line.fixture(0); }

  // Sends a request once the one before is through, as the vendor backend does, so that its
  // break does not cut the frame still going out.
  int16_t Send(uint8_t command_class, uint16_t pid, std::vector<uint8_t> pd = {},
               const RdmUid& to = kFixtureUid, uint16_t sub_device = 0) {
    WaitUntilSent();
    return SendRdmRequest(io, link, to, pd.data(), static_cast<uint8_t>(pd.size()), sub_device,
                          command_class, pid);
  }

  // One response frame in two reads: the received break's NUL (when the adapter reports one),
  // the start code and the message length, then as many bytes as that length announces. Empty
  // when nothing complete came within `timeout_ms`.
  std::vector<uint8_t> ReadFrame(int16_t timeout_ms = 100) {
    uint8_t buffer[kRdmFrameBufferSize + 1] = {};
    if (ReadWithTimeout(io, link, buffer, 4, timeout_ms).value_or(0) != 4) {
      return {};
    }
    const int skip = buffer[0] == kRdmStartCode ? 0 : 1;
    if (buffer[skip] != kRdmStartCode) {
      return {};
    }
    const int size = FrameSizeFromMessageLength(buffer[skip + kOffsetMessageLength]);
    if (size < 5 || size > static_cast<int>(kRdmFrameBufferSize)) {
      return {};
    }
    const int rest = size - (4 - skip);
    const int got =
        ReadWithTimeout(io, link, buffer + 4, static_cast<int16_t>(rest), timeout_ms).value_or(0);
    if (got != rest) {
      return {};
    }
    return std::vector<uint8_t>(buffer + skip, buffer + skip + size);
  }

  std::vector<uint8_t> Exchange(uint8_t command_class, uint16_t pid, std::vector<uint8_t> pd = {},
                                const RdmUid& to = kFixtureUid, int16_t timeout_ms = 100) {
    Send(command_class, pid, std::move(pd), to);
    return ReadFrame(timeout_ms);
  }

  // Sleeps in 1 ms steps (at most 100) until the adapter has sent every queued byte.
  void WaitUntilSent() {
    uint32_t rx = 0, tx = 0, events = 0;
    for (int i = 0; i < 100 && line.FT_GetStatus(link, &rx, &tx, &events) == FT_OK && tx > 0; ++i) {
      clock.SleepMs(1);
    }
  }

  // Bytes that have arrived and wait to be read, without reading them.
  uint32_t Waiting() {
    uint32_t rx = 0, tx = 0, events = 0;
    line.FT_GetStatus(link, &rx, &tx, &events);
    return rx;
  }

  VirtualClock clock;
  SimulatedLine line;
  std::ostringstream diag;
  LineIo io{line, clock, diag};
  LinkHandle link = nullptr;
};

// Parameter data of a response frame.
inline std::vector<uint8_t> ParameterData(const std::vector<uint8_t>& frame) {
  if (frame.size() < kRdmFrameOverhead) {
    return {};
  }
  const auto begin = frame.begin() + static_cast<std::ptrdiff_t>(kOffsetParameterData);
  return std::vector<uint8_t>(begin, begin + frame[kOffsetPdl]);
}

}  // namespace quillmont::testing
