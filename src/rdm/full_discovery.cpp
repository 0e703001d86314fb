#include "rdm/full_discovery.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <utility>

#include "rdm/discovery.h"
#include "rdm/message.h"
#include "rdm/request.h"

namespace quillmont {
namespace {

constexpr RdmUid kBroadcastUid = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr int kMaxPreamble = 7;
// Reads that empty the line before a request: late bytes of a collision or noise.
constexpr int kDrainReads = 20;

struct Range {
  uint64_t lower;
  uint64_t upper;
};

class Search {
 public:
  Search(LineIo& io, LinkHandle& link, const FullDiscoveryOptions& options,
         FullDiscoveryResult& result)
      : io_(io), link_(link), options_(options), result_(result) {}

  bool Budget() const { return result_.requests < options_.max_requests; }

  void UnMuteAll() {
    Drain();
    ++result_.requests;
    SendUnMuteAll(io_, link_);
  }

  // One pass over the whole range. Returns how many devices it muted.
  int Pass() {
    int muted = 0;
    std::vector<Range> stack = {{kLowestUid, kHighestUid}};
    single_attempts_.clear();
    while (!stack.empty()) {
      if (!Budget()) {
        result_.complete = false;
        return muted;
      }
      const Range range = stack.back();
      stack.pop_back();
      RdmUid uid{};
      switch (Branch(range, uid)) {
        case BranchAnswer::kSilence:
          break;
        case BranchAnswer::kOneDevice: {
          const uint64_t number = UidToNumber(uid);
          // A device already muted that answers again, or one that has refused a mute before,
          // is not asked again.
          const bool known = found_.count(number) != 0 || unresponsive_.count(number) != 0;
          if (number < range.lower || number > range.upper || known || !Mute(uid)) {
            // Not a device of this range, or one that will not be muted: split, so that the
            // others in the range still get their turn.
            Split(range, stack);
            break;
          }
          ++muted;
          found_.insert(number);
          stack.push_back(range);  // others may hide behind it
          break;
        }
        case BranchAnswer::kGarbled:
          ++result_.collisions;
          if (range.lower == range.upper) {
            if (++single_attempts_[range.lower] < options_.single_uid_attempts) {
              stack.push_back(range);
            }
          } else {
            Split(range, stack);
          }
          break;
      }
    }
    return muted;
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
  static void Split(const Range& range, std::vector<Range>& stack) {
    if (range.lower == range.upper) {
      return;
    }
    const uint64_t middle = range.lower + (range.upper - range.lower) / 2;
    stack.push_back({middle + 1, range.upper});
    stack.push_back({range.lower, middle});
  }

  void Drain() {
    std::array<uint8_t, kMaxReadBytes> scratch{};
    for (int i = 0; i < kDrainReads; ++i) {
      if (ReadWithTimeout(io_, link_, scratch.data(), kMaxReadBytes, 1) <= 0) {
        return;
      }
    }
  }

  BranchAnswer Branch(const Range& range, RdmUid& uid) {
    std::array<uint8_t, 12> pd{};
    const RdmUid lower = NumberToUid(range.lower);
    const RdmUid upper = NumberToUid(range.upper);
    std::copy(lower.begin(), lower.end(), pd.begin());
    std::copy(upper.begin(), upper.end(), pd.begin() + 6);
    Drain();
    ++result_.requests;
    SendRdmRequest(io_, link_, kBroadcastUid, pd.data(), static_cast<uint8_t>(pd.size()), 0,
                   DISCOVERY_COMMAND, DISC_UNIQUE_BRANCH);
    std::array<uint8_t, kMaxReadBytes> answer{};
    const int got =
        ReadWithTimeout(io_, link_, answer.data(), kMaxPreamble + 17, options_.answer_timeout_ms);
    return DecodeBranchAnswer(answer.data(), std::max(got, 0), uid);
  }

  bool Mute(const RdmUid& uid) {
    const uint64_t number = UidToNumber(uid);
    for (int attempt = 0; attempt < options_.mute_attempts && Budget(); ++attempt) {
      Drain();
      ++result_.requests;
      SendRdmRequest(io_, link_, uid, nullptr, 0, 0, DISCOVERY_COMMAND, DISC_MUTE);
      std::array<uint8_t, kMaxReadBytes> frame{};
      // The acknowledgement carries the control field, perhaps a binding UID after it.
      const int wanted = static_cast<int>(kRdmFrameOverhead) + 2;
      const int got = ReadWithTimeout(io_, link_, frame.data(), static_cast<int16_t>(wanted),
                                      options_.answer_timeout_ms);
      if (IsMuteAcknowledgement(frame.data(), got, uid)) {
        return true;
      }
    }
    unresponsive_.insert(number);
    return false;
  }

  static bool IsMuteAcknowledgement(const uint8_t* frame, int got, const RdmUid& uid) {
    if (got < static_cast<int>(kRdmFrameOverhead) || frame[kOffsetStartCode] != kRdmStartCode ||
        frame[kOffsetSubStartCode] != kRdmSubStartCode ||
        !IsUsableMessageLength(frame[kOffsetMessageLength])) {
      return false;
    }
    const int size = FrameSizeFromMessageLength(frame[kOffsetMessageLength]);
    if (size > got || !IsFrameChecksumGood(frame, static_cast<size_t>(size))) {
      return false;
    }
    const uint16_t pid = static_cast<uint16_t>(frame[kOffsetPid] << 8 | frame[kOffsetPid + 1]);
    return frame[kOffsetCommandClass] == DISCOVERY_COMMAND_RESPONSE && pid == DISC_MUTE &&
           std::equal(uid.begin(), uid.end(), frame + kOffsetSource) &&
           frame[kOffsetPortOrResponseType] == RESPONSE_TYPE_ACK;
  }

  LineIo& io_;
  LinkHandle& link_;
  const FullDiscoveryOptions& options_;
  FullDiscoveryResult& result_;
  std::set<uint64_t> found_;
  std::set<uint64_t> unresponsive_;
  std::map<uint64_t, int> single_attempts_;
};

}  // namespace

uint64_t UidToNumber(const RdmUid& uid) {
  uint64_t number = 0;
  for (uint8_t byte : uid) {
    number = number << 8 | byte;
  }
  return number;
}

RdmUid NumberToUid(uint64_t number) {
  RdmUid uid{};
  for (int i = 5; i >= 0; --i) {
    uid[static_cast<size_t>(i)] = static_cast<uint8_t>(number);
    number >>= 8;
  }
  return uid;
}

BranchAnswer DecodeBranchAnswer(const uint8_t* bytes, int count, RdmUid& uid) {
  if (count <= 0) {
    return BranchAnswer::kSilence;
  }
  int at = 0;
  while (at < count && at < kMaxPreamble && bytes[at] == kDiscoveryPreamble) {
    ++at;
  }
  if (at >= count || bytes[at] != kDiscoverySeparator ||
      count - (at + 1) < static_cast<int>(kDiscoveryPairBytes)) {
    return BranchAnswer::kGarbled;
  }
  const uint8_t* pairs = bytes + at + 1;
  uint16_t sum = 0;
  RdmUid decoded{};
  for (size_t i = 0; i < 6; ++i) {
    // Each byte goes out twice, once ORed with AA and once with 55.
    if ((pairs[2 * i] & 0xAA) != 0xAA || (pairs[2 * i + 1] & 0x55) != 0x55) {
      return BranchAnswer::kGarbled;
    }
    decoded[i] = static_cast<uint8_t>((pairs[2 * i] & 0x55) | (pairs[2 * i + 1] & 0xAA));
    sum = static_cast<uint16_t>(sum + pairs[2 * i] + pairs[2 * i + 1]);
  }
  const uint8_t high = static_cast<uint8_t>((pairs[12] & 0x55) | (pairs[13] & 0xAA));
  const uint8_t low = static_cast<uint8_t>((pairs[14] & 0x55) | (pairs[15] & 0xAA));
  if (high != static_cast<uint8_t>(sum >> 8) || low != static_cast<uint8_t>(sum)) {
    return BranchAnswer::kGarbled;
  }
  uid = decoded;
  return BranchAnswer::kOneDevice;
}

FullDiscoveryResult DiscoverAllDevices(LineIo& io, LinkHandle& link,
                                       const FullDiscoveryOptions& options) {
  FullDiscoveryResult result;
  Search search(io, link, options, result);
  search.UnMuteAll();
  for (int pass = 0; pass < options.max_passes && result.complete; ++pass) {
    ++result.passes;
    if (search.Pass() == 0 && result.passes >= options.min_passes) {
      break;
    }
  }
  search.Finish();
  return result;
}

}  // namespace quillmont
