// Full RDM discovery (E1.20 section 7): a binary search over the UID range with
// DISC_UNIQUE_BRANCH, DISC_MUTE for each device that answers alone, and the range split further
// wherever answers collide. Unlike the window's single-device discovery it finds every device
// on the line. Every loop is bounded: a noisy line or a device that stops answering costs
// requests, never an endless search.
#pragma once

#include <cstdint>
#include <vector>

#include "link/line.h"
#include "rdm/uid.h"

namespace quillmont {

inline constexpr uint64_t kLowestUid = 0;
// FFFF:FFFFFFFF is the broadcast address; no device has it.
inline constexpr uint64_t kHighestUid = 0xFFFFFFFFFFFEull;

struct FullDiscoveryOptions {
  // Ms ReadWithTimeout waits for a discovery answer or a mute acknowledgement.
  int16_t answer_timeout_ms = 20;
  // DISC_MUTE requests to a device that answered alone before it counts as unresponsive.
  int mute_attempts = 3;
  // A branch of one UID whose answers stay garbled is asked this often.
  int single_uid_attempts = 3;
  // Passes over the whole range: at least min_passes, then until one finds nothing new. Later
  // passes find devices whose answers were lost in an earlier one.
  int min_passes = 2;
  int max_passes = 4;
  // The most requests of a whole discovery.
  int max_requests = 20000;
};

struct FullDiscoveryResult {
  std::vector<RdmUid> found;         // muted and counted, in ascending order
  std::vector<RdmUid> unresponsive;  // answered alone but never acknowledged a mute
  int requests = 0;                  // every request sent, un-mutes included
  int collisions = 0;                // garbled answers that split a range
  int passes = 0;
  bool complete = true;  // false when max_requests ended the search
};

// Un-mutes every device, then searches. The link must be open at the line's rate.
FullDiscoveryResult DiscoverAllDevices(LineIo& io, LinkHandle& link,
                                       const FullDiscoveryOptions& options = {});

// What a DISC_UNIQUE_BRANCH answer held.
enum class BranchAnswer { kSilence, kOneDevice, kGarbled };

// Decodes an answer of `count` bytes: up to 7 preamble bytes 0xFE, the separator 0xAA, six
// encoded UID pairs and two checksum pairs. kOneDevice with `uid` set when it is whole and its
// checksum holds; kSilence for no bytes; kGarbled for anything else.
BranchAnswer DecodeBranchAnswer(const uint8_t* bytes, int count, RdmUid& uid);

uint64_t UidToNumber(const RdmUid& uid);
RdmUid NumberToUid(uint64_t number);

}  // namespace quillmont
