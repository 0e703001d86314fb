// SPDX-License-Identifier: Apache-2.0
// Full RDM discovery (E1.20 section 7): a binary search over the UID range with
// DISC_UNIQUE_BRANCH, DISC_MUTE for each device that answers alone, and the range split further
// wherever answers collide. Unlike the window's single-device discovery it finds every device
// on the line. Every loop is bounded: a noisy line or a device that stops answering costs
// requests, never an endless search.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "link/line.h"
#include "rdm/uid.h"

namespace quillmont {

inline constexpr uint64_t kLowestUid = 0;
// FFFF:FFFFFFFF is the broadcast address; no device has it.
inline constexpr uint64_t kHighestUid = 0xFFFFFFFFFFFEull;

// Bytes before a discovery answer's separator that are still looked through: up to 7 preamble
// bytes 0xFE, and before them stray bytes of the line turning around.
inline constexpr int kMaxAnswerLeadBytes = 16;

struct FullDiscoveryOptions {
  // The adapter's latency timer: a short answer reaches the host only when it runs out. 16 ms
  // is the driver's default, the longest an adapter runs at when the low-latency setting is not
  // taken.
  int16_t latency_timer_ms = 16;
  // DISC_MUTE requests to a device that answered alone before it counts as unresponsive.
  int mute_attempts = 3;
  // A branch of one UID whose answers stay garbled is asked this often.
  int single_uid_attempts = 3;
  // A silent answer may be a lost one. A range that answered and whose halves then both stayed
  // silent is asked again up to this often before it is dropped; so is the whole range before
  // a pass counts as finding nothing. Passes go on until one finds nothing new.
  int silent_range_asks = 3;
  // The most requests of a whole discovery.
  int max_requests = 20000;
  // Asked before every request: true ends the search at once (a signal, the operator's abort).
  std::function<bool()> stop;
};

struct FullDiscoveryResult {
  std::vector<RdmUid> found;         // muted and counted, in ascending order
  std::vector<RdmUid> unresponsive;  // answered alone but never acknowledged a mute
  int requests = 0;                  // every request sent, un-mutes included
  int collisions = 0;                // garbled answers that split a range
  int passes = 0;
  // The search ended because a pass found nothing new. False when the request budget ended a
  // pass, or a stop request the search: devices may be left unfound.
  bool complete = true;
  bool stopped = false;  // a stop request ended it
};

// Un-mutes every device, then searches. The link must be open at the line's rate.
FullDiscoveryResult DiscoverAllDevices(LineIo& io, LinkHandle& link,
                                       const FullDiscoveryOptions& options = {});

// Ms ReadWithTimeout waits for a discovery answer or a mute acknowledgement: the answer's time on
// the line after the request (E1.20's 2.8 ms turnaround and 24 bytes at 250000 baud, 6 ms in
// all) plus the latency timer, in whole 10 ms polls, and never less than two polls.
int16_t AnswerWindowMs(const FullDiscoveryOptions& options);

// What a DISC_UNIQUE_BRANCH answer held.
enum class BranchAnswer { kSilence, kOneDevice, kGarbled };

// Decodes an answer of `count` bytes: stray bytes and up to 7 preamble bytes 0xFE, the
// separator 0xAA within the first kMaxAnswerLeadBytes, six encoded UID pairs and two checksum
// pairs. Every 0xAA in the lead is tried as the separator (a stray byte may be one). kOneDevice
// with `uid` set when an answer is whole and its checksum holds; kSilence for no bytes;
// kGarbled for anything else.
BranchAnswer DecodeBranchAnswer(const uint8_t* bytes, int count, RdmUid& uid);

// How many bytes an undecodable answer of `count` bytes still lacks after its separator (the
// 0xAA that ends the preamble, or the first 0xAA in the lead). 0 when it lacks none or has no
// separator.
int MissingAnswerBytes(const uint8_t* bytes, int count);

// Finds the response frame in `count` bytes read: its start code within the first
// kMaxLeadBeforeFrame bytes (a received break reads as a NUL ahead of it). The frame's offset,
// or -1 when no start code is there.
inline constexpr int kMaxLeadBeforeFrame = 8;
int FindFrameStart(const uint8_t* bytes, int count);

// Whether `frame` (`size` bytes from its start code) is an acknowledged DISC_MUTE or
// DISC_UN_MUTE (`pid`) from `uid`, checksum good: its control field alone (PDL 2) or with a
// binding UID after it (PDL 8), as E1.20 allows.
bool IsDiscoveryAcknowledgement(const uint8_t* frame, int size, uint16_t pid, const RdmUid& uid);

}  // namespace quillmont
