// SPDX-License-Identifier: Apache-2.0
#include "rdm/discovery.h"

#include <algorithm>

namespace quillmont {

namespace {

// How long the answer to the discovery request is awaited, from the request on.
constexpr int64_t kAnswerWindowMicros = 200'000;
// The shortest answer (3 preamble bytes, the separator and 16 pair bytes) and the most bytes
// the answer is read to (7 preamble bytes and a few stray ones ahead of them).
constexpr int kShortestAnswer = 20;
constexpr int kLastSeparatorIndex = 10;
// NULs an adapter that hears itself may report for its own break, ahead of its request.
constexpr int kMaxEchoNuls = 4;
// Room for the echo of the request, the answer and stray bytes.
constexpr int kScratchBytes = 96;

// The separator's index among `count` bytes (3 to 10), or -1.
int SeparatorAt(const uint8_t* bytes, int count) {
  for (int i = 3; i <= kLastSeparatorIndex && i < count; ++i) {
    if (bytes[i] == kDiscoverySeparator) {
      return i;
    }
  }
  return -1;
}

// Bytes at the front of `bytes` that are this controller's own request coming back (after the
// NULs of its break), on an adapter that hears itself: the whole frame's length once its first
// bytes match, 0 when they do not. Only an echo begins with the start code: an answer begins
// with its preamble or its separator.
int EchoLength(const uint8_t* bytes, int count) {
  int lead = 0;
  while (lead < count && lead < kMaxEchoNuls && bytes[lead] == 0x00) {
    ++lead;
  }
  const int compared = std::min(count - lead, static_cast<int>(kDiscUniqueBranchFrame.size()));
  if (compared <= 0 ||
      !std::equal(bytes + lead, bytes + lead + compared, kDiscUniqueBranchFrame.begin())) {
    return 0;
  }
  return lead + static_cast<int>(kDiscUniqueBranchFrame.size());
}

// Reads into `buffer` (kScratchBytes long), until `need` bytes are in or the deadline passes.
int ReadUpTo(LineIo& io, LinkHandle& link, uint8_t* buffer, int got, int need, uint64_t deadline) {
  while (got < need) {
    const uint64_t now = io.clock.NowMicros();
    const auto left_ms = static_cast<int16_t>(now >= deadline ? 0 : (deadline - now + 999) / 1000);
    const Result<int> n =
        ReadWithTimeout(io, link, buffer + got, static_cast<int16_t>(need - got), left_ms);
    if (!n) {
      return -1;
    }
    got += *n;
    if (*n == 0 || io.clock.NowMicros() >= deadline) {
      break;
    }
  }
  return got;
}

// Reads the answer to the discovery request just sent into `buffer`, from its first byte on: the
// shortest answer's 20 bytes, or as many as a separator further on needs (stray bytes of the
// line turning round may stand ahead of a long preamble). An adapter that hears itself hands back
// its break and the request first; they are read past. The count of answer bytes, or -1.
int ReadDiscoveryAnswer(LineIo& io, LinkHandle& link, uint8_t* buffer) {
  const uint64_t deadline = io.clock.NowMicros() + kAnswerWindowMicros;
  int got = ReadUpTo(io, link, buffer, 0, kShortestAnswer, deadline);
  if (got <= 0) {
    return got;
  }
  const int echo = EchoLength(buffer, got);
  if (echo > 0) {
    got = ReadUpTo(io, link, buffer, got, echo + kShortestAnswer, deadline);
    if (got < echo) {
      return got < 0 ? -1 : 0;
    }
    std::copy(buffer + echo, buffer + got, buffer);
    got -= echo;
  }
  for (;;) {
    const int separator = SeparatorAt(buffer, got);
    const int need = separator >= 0 ? separator + 1 + static_cast<int>(kDiscoveryPairBytes)
                                    : std::min(got + 1, kLastSeparatorIndex + 1);
    if (got >= need || (separator < 0 && got > kLastSeparatorIndex)) {
      return got;
    }
    const int more = ReadUpTo(io, link, buffer, got, need, deadline);
    if (more <= got) {
      return more < 0 ? -1 : got;
    }
    got = more;
  }
}

}  // namespace

FT_STATUS SendUnMuteAll(LineIo& io, LinkHandle& link) {
  if (link == nullptr) {
    return FT_INVALID_HANDLE;
  }
  const Status sent = SendFrame(io, link, kUnMuteAllFrame.data(), kUnMuteAllFrame.size());
  return sent ? FT_OK : FT_OTHER_ERROR;
}

int16_t DiscoverSingleDevice(LineIo& io, LinkHandle& link, RdmUid& target) {
  // The drain and the answer share one scratch buffer, local to the call.
  uint8_t scratch[kScratchBytes] = {};
  for (int read_number = 1; read_number <= kDrainReads; ++read_number) {
    const Result<int> got = ReadWithTimeout(io, link, scratch, 30, 1);
    if (read_number == kDrainReads) {
      return -2;
    }
    if (!got || *got <= 0) {
      break;
    }
  }
  if (!SendFrame(io, link, kDiscUniqueBranchFrame.data(), kDiscUniqueBranchFrame.size())) {
    return -1;
  }
  const int got = ReadDiscoveryAnswer(io, link, scratch);
  return DecodeDiscoveryAnswer(scratch, got, target);
}

int16_t DecodeDiscoveryAnswer(const uint8_t* bytes, int count, RdmUid& target) {
  if (count < 20) {
    return -1;
  }
  int separator = -1;
  for (int i = 3; i <= 10 && i < count; ++i) {
    if (bytes[i] == kDiscoverySeparator) {
      separator = i;
      break;
    }
  }
  if (separator < 0) {
    return -1;
  }
  // The 16 pair bytes must all have been read: never decode what a drain left behind.
  const uint8_t* pairs = bytes + separator + 1;
  if (count - (separator + 1) < static_cast<int>(kDiscoveryPairBytes)) {
    return -1;
  }
  const DiscoveryPairs decoded = DecodeDiscoveryPairs(pairs);
  target = decoded.uid;
  return decoded.checksum_holds ? 0 : -1;
}

DiscoveryPairs DecodeDiscoveryPairs(const uint8_t* pairs) {
  const auto value = [pairs](size_t pair) {
    return static_cast<uint8_t>((pairs[2 * pair] & 0x55) | (pairs[2 * pair + 1] & 0xAA));
  };
  DiscoveryPairs decoded;
  decoded.well_formed = true;
  uint16_t sum = 0;
  for (size_t i = 0; i < decoded.uid.size(); ++i) {
    decoded.uid[i] = value(i);
    sum = static_cast<uint16_t>(sum + pairs[2 * i] + pairs[2 * i + 1]);
    if ((pairs[2 * i] & 0xAA) != 0xAA || (pairs[2 * i + 1] & 0x55) != 0x55) {
      decoded.well_formed = false;
    }
  }
  decoded.checksum_holds =
      value(6) == static_cast<uint8_t>(sum >> 8) && value(7) == static_cast<uint8_t>(sum & 0xFF);
  return decoded;
}

size_t EncodeDiscoveryAnswer(const RdmUid& uid, int preamble, uint8_t* out) {
  preamble = std::clamp(preamble, 0, 7);
  size_t n = 0;
  for (int i = 0; i < preamble; ++i) {
    out[n++] = kDiscoveryPreamble;
  }
  out[n++] = kDiscoverySeparator;
  uint16_t sum = 0;
  for (uint8_t v : uid) {
    const uint8_t first = static_cast<uint8_t>(v | 0xAA);
    const uint8_t second = static_cast<uint8_t>(v | 0x55);
    out[n++] = first;
    out[n++] = second;
    sum = static_cast<uint16_t>(sum + first + second);
  }
  for (uint8_t v : {static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum & 0xFF)}) {
    out[n++] = static_cast<uint8_t>(v | 0xAA);
    out[n++] = static_cast<uint8_t>(v | 0x55);
  }
  return n;
}

}  // namespace quillmont
