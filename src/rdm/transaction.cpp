// SPDX-License-Identifier: Apache-2.0
#include "rdm/transaction.h"

#include <algorithm>
#include <array>
#include <span>

#include "rdm/frame_view.h"
#include "rdm/message.h"
#include "rdm/request.h"
#include "rdm/response_check.h"

namespace quillmont {
namespace {

// Room for the echo of the longest request and the longest response, with stray bytes.
constexpr int kReceiveBytes = 640;
// Reads that empty the line before a request: late bytes of an earlier answer, or noise.
constexpr int kDrainReads = 20;

}  // namespace

bool FindResponse(const uint8_t* bytes, int count, const RdmUid& uid, uint8_t command_class,
                  uint16_t pid, int& at, int& size) {
  for (int start = 0; start + static_cast<int>(kOffsetMessageLength) < count; ++start) {
    if (bytes[start] != kRdmStartCode ||
        !IsUsableMessageLength(bytes[start + kOffsetMessageLength])) {
      continue;
    }
    const int frame_size = FrameSizeFromMessageLength(bytes[start + kOffsetMessageLength]);
    if (frame_size > count - start ||
        !IsFrameChecksumGood(bytes + start, static_cast<size_t>(frame_size))) {
      continue;
    }
    const std::optional<RdmFrameView> view =
        RdmFrameView::Of(std::span<const uint8_t>(bytes + start, static_cast<size_t>(frame_size)));
    if (CheckResponse(SentRequest{uid, command_class, pid}, view).Answers() &&
        view->destination() == kControllerUid) {
      at = start;
      size = frame_size;
      return true;
    }
  }
  return false;
}

std::optional<std::vector<uint8_t>> Transact(LineIo& io, LinkHandle& link, const RdmUid& uid,
                                             uint8_t command_class, uint16_t pid,
                                             const uint8_t* data, uint8_t pdl,
                                             const TransactionOptions& options) {
  std::array<uint8_t, kReceiveBytes> received{};
  const auto stopped = [&options] { return options.stop && options.stop(); };
  for (int attempt = 0; attempt < options.attempts && link != nullptr && !stopped(); ++attempt) {
    DrainReceived(io, link, kDrainReads);
    if (SendRdmRequest(io, link, uid, data, pdl, 0, command_class, pid) != 0) {
      return std::nullopt;
    }
    int got = 0;
    // One poll per read: the answer is taken as soon as it is whole.
    for (int waited = 0; waited < options.answer_window_ms && got < kReceiveBytes && !stopped();
         waited += kPollMs) {
      const int wanted = std::min(kReceiveBytes - got, kMaxReadBytes);
      const Result<int> n =
          ReadWithTimeout(io, link, received.data() + got, static_cast<int16_t>(wanted),
                          static_cast<int16_t>(kPollMs));
      if (!n) {
        return std::nullopt;
      }
      got += *n;
      int at = 0;
      int size = 0;
      if (*n > 0 && FindResponse(received.data(), got, uid, command_class, pid, at, size)) {
        return std::vector<uint8_t>(received.begin() + at, received.begin() + at + size);
      }
    }
  }
  return std::nullopt;
}

}  // namespace quillmont
