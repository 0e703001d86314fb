// SPDX-License-Identifier: Apache-2.0
#include "rdm/full_discovery.h"

#include <algorithm>
#include <array>
#include <set>
#include <utility>

#include "rdm/discovery.h"
#include "rdm/frame_view.h"
#include "rdm/message.h"
#include "rdm/request.h"

namespace quillmont {
namespace {

constexpr int kMaxPreamble = 7;
// Reads that empty the line before a request: late bytes of a collision or noise.
constexpr int kDrainReads = 20;
// Reads after the first that complete an answer or a frame whose rest is still on its way.
constexpr int kFollowUpReads = 2;
// What the answer takes on the line after the request, in ms: E1.20's 2.8 ms controller
// turnaround and 24 bytes of 44 us, rounded up.
constexpr int kAnswerOnLineMs = 6;
// A mute acknowledgement with its control field, and the NUL of the break ahead of it.
constexpr int kMuteAnswerBytes = static_cast<int>(kRdmFrameOverhead) + 2 + 1;

struct Range {
  uint64_t lower;
  uint64_t upper;
};

class Search {
 public:
  Search(LineIo& io, LinkHandle& link, const FullDiscoveryOptions& options,
         FullDiscoveryResult& result)
      : io_(io), link_(link), options_(options), result_(result) {}

  // Counts one more request. False, with the search marked incomplete, when the budget is
  // spent or a stop was asked for: nothing may be sent then.
  bool Spend() {
    if (result_.complete && options_.stop && options_.stop()) {
      result_.stopped = true;
      result_.complete = false;
    }
    if (result_.requests >= options_.max_requests) {
      result_.complete = false;
    }
    if (!result_.complete) {
      return false;
    }
    ++result_.requests;
    return true;
  }
  bool Stopped() const { return !result_.complete; }

  void UnMuteAll() {
    if (!Spend()) {
      return;
    }
    Drain();
    SendUnMuteAll(io_, link_);
  }

  // One pass over the whole range. Returns how many devices it muted. A silent range is trusted
  // only once it has been asked again: a lost answer must not end the search.
  int Pass() {
    const size_t before = found_.size();
    refused_mute_.clear();
    for (int ask = 0; ask <= options_.silent_range_asks && !Stopped(); ++ask) {
      if (Explore({kLowestUid, kHighestUid})) {
        break;
      }
    }
    RetryRefusedMutes();
    return static_cast<int>(found_.size() - before);
  }

  void Finish() {
    for (uint64_t number : found_) {
      result_.found.push_back(NumberToUid(number));
    }
    for (uint64_t number : unresponsive_) {
      if (found_.count(number) == 0) {
        result_.unresponsive.push_back(NumberToUid(number));
      }
    }
  }

 private:
  // Asks `range` until it stays silent: mutes each device that answers alone, and splits the
  // range where answers collide or a device will not be muted. True when anything answered.
  bool Explore(const Range& range) {
    bool heard = false;
    int garbled_single = 0;
    int asked_again = 0;
    while (!Stopped()) {
      RdmUid uid{};
      const BranchAnswer answer = Branch(range, uid);
      if (answer == BranchAnswer::kSilence) {
        return heard;
      }
      heard = true;
      if (answer == BranchAnswer::kOneDevice && TakeDevice(range, uid)) {
        continue;  // others may hide behind it
      }
      if (answer == BranchAnswer::kGarbled) {
        ++result_.collisions;
      }
      if (range.lower == range.upper) {
        if (answer == BranchAnswer::kGarbled && ++garbled_single < options_.single_uid_attempts) {
          continue;
        }
        return heard;
      }
      const uint64_t middle = range.lower + (range.upper - range.lower) / 2;
      const bool lower = Explore({range.lower, middle});
      const bool upper = Explore({middle + 1, range.upper});
      // The range answered and neither half did: the answers were lost on the line.
      if (lower || upper || ++asked_again > options_.silent_range_asks) {
        return heard;
      }
    }
    return heard;
  }

  // A device that answered a branch alone: muted and counted when it is one of the range's and
  // neither muted already nor refused a mute in this pass.
  bool TakeDevice(const Range& range, const RdmUid& uid) {
    const uint64_t number = UidToNumber(uid);
    if (number < range.lower || number > range.upper || found_.count(number) != 0 ||
        refused_mute_.count(number) != 0 || !Mute(uid)) {
      return false;
    }
    found_.insert(number);
    return true;
  }

  // A device whose mute acknowledgements were lost is muted all the same and stays silent from
  // then on: once the pass is over, it is asked directly once more.
  void RetryRefusedMutes() {
    const std::set<uint64_t> refused = refused_mute_;
    for (uint64_t number : refused) {
      if (!Stopped() && Mute(NumberToUid(number))) {
        found_.insert(number);
      }
    }
  }

  void Drain() { DrainReceived(io_, link_, kDrainReads); }

  BranchAnswer Branch(const Range& range, RdmUid& uid) {
    std::array<uint8_t, 12> pd{};
    const RdmUid lower = NumberToUid(range.lower);
    const RdmUid upper = NumberToUid(range.upper);
    std::copy(lower.begin(), lower.end(), pd.begin());
    std::copy(upper.begin(), upper.end(), pd.begin() + 6);
    if (!Spend()) {
      return BranchAnswer::kSilence;
    }
    Drain();
    SendRdmRequest(io_, link_, kBroadcastUid, pd.data(), static_cast<uint8_t>(pd.size()), 0,
                   DISCOVERY_COMMAND, DISC_UNIQUE_BRANCH);
    std::array<uint8_t, kMaxReadBytes> answer{};
    int got = ReadAnswer(answer.data(), kMaxPreamble + 17);
    // Stray bytes ahead of the preamble push the answer's end past the first read.
    for (int more = 0; more < kFollowUpReads && got > 0; ++more) {
      if (DecodeBranchAnswer(answer.data(), got, uid) == BranchAnswer::kOneDevice) {
        break;
      }
      const int missing = std::min(MissingAnswerBytes(answer.data(), got), kMaxReadBytes - got);
      if (missing <= 0 || ReadMore(answer.data(), got, missing) <= 0) {
        break;
      }
    }
    return DecodeBranchAnswer(answer.data(), got, uid);
  }

  // Reads up to `wanted` bytes of an answer into `buffer` (kMaxReadBytes long). An adapter that
  // hears itself hands the request back first, after its break's NUL: that is read past.
  int ReadAnswer(uint8_t* buffer, int wanted) {
    int got = Read(buffer, wanted);
    const int echo = OwnRequestBytes(buffer, got);
    if (echo == 0) {
      return got;
    }
    int skip = echo - std::min(echo, got);
    got -= echo - skip;
    std::copy(buffer + echo - skip, buffer + echo - skip + got, buffer);
    for (int more = 0; more < kFollowUpReads && skip > 0; ++more) {
      // What is read beyond the echo is the answer's beginning.
      const int n = Read(buffer, skip + wanted);
      if (n <= 0) {
        return 0;
      }
      got = std::max(n - skip, 0);
      std::copy(buffer + std::min(skip, n), buffer + n, buffer);
      skip = std::max(skip - n, 0);
    }
    if (skip > 0) {
      return 0;
    }
    if (got < wanted) {
      ReadMore(buffer, got, wanted - got);
    }
    return got;
  }

  // The bytes of a request at the front of what was read (the NUL before it included): this
  // controller's own, for no other controller is on the line. 0 when none is there.
  static int OwnRequestBytes(const uint8_t* bytes, int got) {
    const int start = FindFrameStart(bytes, got);
    if (start < 0 || got - start <= static_cast<int>(kOffsetCommandClass) ||
        !IsUsableMessageLength(bytes[start + kOffsetMessageLength])) {
      return 0;
    }
    const uint8_t command_class = bytes[start + kOffsetCommandClass];
    if (command_class != DISCOVERY_COMMAND && command_class != GET_COMMAND &&
        command_class != SET_COMMAND) {
      return 0;
    }
    return start + FrameSizeFromMessageLength(bytes[start + kOffsetMessageLength]);
  }

  // One read of up to `wanted` bytes within the answer window; 0 when it fails.
  int Read(uint8_t* buffer, int wanted) {
    const Result<int> got =
        ReadWithTimeout(io_, link_, buffer, static_cast<int16_t>(wanted), AnswerWindowMs(options_));
    return got ? *got : 0;
  }

  // Reads up to `wanted` more bytes after the `got` already in `buffer`; adds them to `got`.
  int ReadMore(uint8_t* buffer, int& got, int wanted) {
    const int extra = Read(buffer + got, wanted);
    if (extra > 0) {
      got += extra;
    }
    return extra;
  }

  bool Mute(const RdmUid& uid) {
    const uint64_t number = UidToNumber(uid);
    for (int attempt = 0; attempt < options_.mute_attempts && Spend(); ++attempt) {
      Drain();
      SendRdmRequest(io_, link_, uid, nullptr, 0, 0, DISCOVERY_COMMAND, DISC_MUTE);
      // The acknowledgement carries the control field, perhaps a binding UID after it: what
      // its message length announces beyond the first read is read too.
      std::array<uint8_t, kMaxReadBytes> frame{};
      int got = ReadAnswer(frame.data(), kMuteAnswerBytes);
      int start = FindFrameStart(frame.data(), got);
      for (int more = 0; more < kFollowUpReads && start >= 0; ++more) {
        const int missing =
            std::min(FrameBytesMissing(frame.data() + start, got - start), kMaxReadBytes - got);
        if (missing <= 0 || ReadMore(frame.data(), got, missing) <= 0) {
          break;
        }
      }
      if (start >= 0 &&
          IsDiscoveryAcknowledgement(frame.data() + start, got - start, DISC_MUTE, uid)) {
        return true;
      }
    }
    if (!Stopped()) {
      refused_mute_.insert(number);
      unresponsive_.insert(number);
    }
    return false;
  }

  // Bytes a frame whose first `got` bytes are read still lacks, by its message length.
  static int FrameBytesMissing(const uint8_t* frame, int got) {
    if (got < static_cast<int>(kOffsetMessageLength) + 1 ||
        !IsUsableMessageLength(frame[kOffsetMessageLength])) {
      return 0;
    }
    return std::max(FrameSizeFromMessageLength(frame[kOffsetMessageLength]) - got, 0);
  }

  LineIo& io_;
  LinkHandle& link_;
  const FullDiscoveryOptions& options_;
  FullDiscoveryResult& result_;
  std::set<uint64_t> found_;
  std::set<uint64_t> unresponsive_;  // ever refused a mute
  std::set<uint64_t> refused_mute_;  // refused a mute in this pass: not asked again in it
};

}  // namespace

int16_t AnswerWindowMs(const FullDiscoveryOptions& options) {
  const int wait = kAnswerOnLineMs + std::max<int>(options.latency_timer_ms, 0);
  const int polls = std::max((wait + kPollMs - 1) / kPollMs, 2);
  return static_cast<int16_t>(polls * kPollMs);
}

BranchAnswer DecodeBranchAnswer(const uint8_t* bytes, int count, RdmUid& uid) {
  if (count <= 0) {
    return BranchAnswer::kSilence;
  }
  const int pair_bytes = static_cast<int>(kDiscoveryPairBytes);
  for (int at = 0; at < count && at < kMaxAnswerLeadBytes; ++at) {
    if (bytes[at] != kDiscoverySeparator || count - (at + 1) < pair_bytes) {
      continue;
    }
    const DiscoveryPairs pairs = DecodeDiscoveryPairs(bytes + at + 1);
    if (pairs.well_formed && pairs.checksum_holds) {
      uid = pairs.uid;
      return BranchAnswer::kOneDevice;
    }
  }
  return BranchAnswer::kGarbled;
}

int MissingAnswerBytes(const uint8_t* bytes, int count) {
  // The separator is the 0xAA that ends the preamble; without a preamble, the first 0xAA. An
  // encoded pair never holds 0xFE followed by 0xAA.
  int first = -1;
  int after_preamble = -1;
  for (int at = 0; at < count && at < kMaxAnswerLeadBytes; ++at) {
    if (bytes[at] != kDiscoverySeparator) {
      continue;
    }
    if (first < 0) {
      first = at;
    }
    if (at > 0 && bytes[at - 1] == kDiscoveryPreamble) {
      after_preamble = at;
    }
  }
  const int separator = after_preamble >= 0 ? after_preamble : first;
  if (separator < 0) {
    return 0;
  }
  return std::max(separator + 1 + static_cast<int>(kDiscoveryPairBytes) - count, 0);
}

int FindFrameStart(const uint8_t* bytes, int count) {
  for (int at = 0; at < count && at < kMaxLeadBeforeFrame; ++at) {
    if (bytes[at] == kRdmStartCode) {
      return at;
    }
  }
  return -1;
}

bool IsDiscoveryAcknowledgement(const uint8_t* frame, int size, uint16_t pid, const RdmUid& uid) {
  if (size < static_cast<int>(kRdmFrameOverhead) || frame[kOffsetStartCode] != kRdmStartCode ||
      frame[kOffsetSubStartCode] != kRdmSubStartCode ||
      !IsUsableMessageLength(frame[kOffsetMessageLength])) {
    return false;
  }
  const int frame_size = FrameSizeFromMessageLength(frame[kOffsetMessageLength]);
  if (frame_size > size || !IsFrameChecksumGood(frame, static_cast<size_t>(frame_size))) {
    return false;
  }
  const auto view =
      RdmFrameView::Of(std::span<const uint8_t>(frame, static_cast<size_t>(frame_size)));
  return view && view->Is(DISCOVERY_COMMAND_RESPONSE, pid) && view->source() == uid &&
         view->IsAck() && (view->pdl() == 2 || view->pdl() == 8) &&
         view->data().size() == view->pdl();
}

FullDiscoveryResult DiscoverAllDevices(LineIo& io, LinkHandle& link,
                                       const FullDiscoveryOptions& options) {
  FullDiscoveryResult result;
  Search search(io, link, options, result);
  search.UnMuteAll();
  // Until a pass finds nothing new: a device whose answers were lost in one pass is the only
  // one left unmuted in the next, and answers alone there.
  while (!search.Stopped()) {
    ++result.passes;
    if (search.Pass() == 0) {
      break;
    }
  }
  search.Finish();
  return result;
}

}  // namespace quillmont
