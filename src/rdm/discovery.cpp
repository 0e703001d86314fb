#include "rdm/discovery.h"

#include <algorithm>

namespace quillmont {

FT_STATUS SendUnMuteAll(LineIo& io, LinkHandle& link) {
  SendBreak(io, link);
  uint32_t written = 0;
  return io.driver.FT_Write(link, kUnMuteAllFrame.data(),
                            static_cast<uint32_t>(kUnMuteAllFrame.size()), &written);
}

int16_t DiscoverSingleDevice(LineIo& io, LinkHandle& link, RdmUid& target) {
  // Both reads share one scratch buffer, local to the call.
  uint8_t scratch[32] = {};
  for (int read_number = 1; read_number <= kDrainReads; ++read_number) {
    const int got = ReadWithTimeout(io, link, scratch, 30, 1);
    if (read_number == kDrainReads) {
      return -2;
    }
    if (got <= 0) {
      break;
    }
  }

  SendBreak(io, link);
  uint32_t written = 0;
  io.driver.FT_Write(link, kDiscUniqueBranchFrame.data(),
                     static_cast<uint32_t>(kDiscUniqueBranchFrame.size()), &written);

  const int got = ReadWithTimeout(io, link, scratch, 24, 200);
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
