// SPDX-License-Identifier: Apache-2.0
// One request to one device and the wait for its response, outside the window's tick: how a
// service tool asks each fixture of a rig what it is before choosing which to update. The
// response is looked for among everything the adapter hands over (its own echo, the NUL of a
// received break, stray bytes), and the wait is counted in polls and bounded.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "link/line.h"
#include "rdm/uid.h"

namespace quillmont {

struct TransactionOptions {
  // How long one attempt waits for the response: E1.20's 2 ms for the responder, a whole
  // 257-byte frame at 250000 baud (11 ms) and the longest latency timer (16 ms), in polls.
  int16_t answer_window_ms = 40;
  int attempts = 3;
  // Asked before every attempt and every poll: true gives up at once (a signal, an abort).
  std::function<bool()> stop;
};

// Sends the request (sub-device 0) to `uid` and returns the response frame that answers it
// (CheckResponse), addressed to this controller, checksum good: of any response type, so the
// caller checks it for an ACK. Nothing when no such frame came in any attempt, or when the
// request could not be sent.
std::optional<std::vector<uint8_t>> Transact(LineIo& io, LinkHandle& link, const RdmUid& uid,
                                             uint8_t command_class, uint16_t pid,
                                             const uint8_t* data = nullptr, uint8_t pdl = 0,
                                             const TransactionOptions& options = {});

// The response to `command_class`/`pid` from `uid` among `count` bytes read: its offset and size
// in `at` and `size`. False when none is whole there.
bool FindResponse(const uint8_t* bytes, int count, const RdmUid& uid, uint8_t command_class,
                  uint16_t pid, int& at, int& size);

}  // namespace quillmont
