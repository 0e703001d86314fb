// SPDX-License-Identifier: Apache-2.0
// Scripted, seeded faults of the simulated line. The same plan and seed give the same run.
//
// A fault list is a comma-separated list of items, without blanks:
//
//   seed=N              seed of the fault generator (unsigned, default 1)
//   drop=N              the N-th reply on the line (from 1) is lost; may be repeated
//   corrupt=N           one byte of the N-th reply is flipped; may be repeated
//   drop-rate=P         every reply is lost with probability P (0 to 1, e.g. 0.02)
//   corrupt-rate=P      every reply has one byte flipped with probability P
//   noise@T             8 random bytes arrive at time T; noise@T:N for N bytes (1 to 256)
//   unplug@T            the adapter is pulled out at time T: its open handle is dead from then
//                       on (modem status, status, reads and writes fail)
//   replug@T            and plugged back in at T (after the matching unplug): it can be opened
//                       again
//   slow=N              the fixtures take N times as long for everything (1 to 1000)
//   reset-in-erase=N    the N-th erase command resets the fixture half-way: half the block
//                       erased, no reply, back in its bootloader after the reset time
//   second-fixture      a second fixture (the first one's UID plus one) answers discovery too
//   echo                the adapter hears its own transmission: its break as a 0x00 byte, then
//                       every byte it writes, as they go out on the line
//   stray=N             N random bytes (1 to 8), the line turning around, arrive just before
//                       every discovery answer's preamble
//   latency=T           the adapter's latency timer, 1ms to 255ms (default 1ms): a received
//                       byte reaches the host when its 62-byte USB packet is full or when the
//                       timer, started by the packet's first byte, runs out
//   ideal-adapter       an adapter that hands every byte over as soon as it is through and
//                       reports no break as a byte (for benchmarks and timing tests)
//   refuse-break        the adapter's driver refuses every break (some PL2303 and FT232R clones)
//   simulated-break     the adapter's driver simulates each break, holding the line low for
//                       about 200 ms (CH34x chips without a break register)
//   console-dmx         a console's DMX (start code 0) is on the line, and a widget hands every
//                       packet of it to the host
//
// Times are whole numbers with a unit, us, ms or s (2000ms, 10s), counted from the moment the
// plan is installed on the line. Replies are counted on the adapter, every fixture's alike.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace quillmont {

struct NoiseBurst {
  uint64_t at_micros = 0;
  uint32_t count = 8;
};

struct UnplugWindow {
  uint64_t unplug_micros = 0;
  uint64_t replug_micros = UINT64_MAX;  // never, unless a replug follows
};

struct FaultPlan {
  uint64_t seed = 1;
  std::vector<uint64_t> drop_replies;     // reply numbers, from 1
  std::vector<uint64_t> corrupt_replies;  // reply numbers, from 1
  double drop_rate = 0.0;
  double corrupt_rate = 0.0;
  std::vector<NoiseBurst> noise;
  std::vector<UnplugWindow> unplugs;
  uint32_t slow = 1;
  int reset_in_erase = 0;
  bool second_fixture = false;
  bool echo = false;
  uint32_t stray_bytes = 0;
  uint32_t latency_timer_ms = 0;  // 0: the line's own setting
  bool ideal_adapter = false;
  bool refuse_break = false;
  bool simulated_break = false;
  bool console_dmx = false;
};

// Parses a fault list; an error naming the item for a bad list.
Result<FaultPlan> ParseFaultList(std::string_view text);

// A small deterministic generator (SplitMix64): the same seed gives the same numbers with every
// compiler and standard library.
class FaultRandom {
 public:
  explicit FaultRandom(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  // Uniform in [0, 1).
  double NextUnit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  // Uniform in [0, bound); 0 for a bound of 0.
  uint32_t Below(uint32_t bound) { return bound == 0 ? 0 : static_cast<uint32_t>(Next() % bound); }

 private:
  uint64_t state_;
};

}  // namespace quillmont
