// SPDX-License-Identifier: Apache-2.0
// The bytes the simulated fixtures send back, each with the time its last bit is through, in
// time order. A pseudo-terminal has no baud rate, so the server keeps the line's timing itself:
// a byte is handed to the host only when its time has come. Bytes of several fixtures that are
// on the line at once collide (each is the bitwise AND of the bytes during its time: a driven 0
// wins), as on a real RS485 line. The adapter model decides when a byte that is through reaches
// the host: at once (the ideal adapter, the default here), or in 62-byte USB packets and when the
// latency timer runs out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "sim/adapter_model.h"

namespace quillmont::sim {

// At most this many bytes wait to go out; later ones are lost, as in an overflowing adapter.
inline constexpr size_t kReplyScheduleCapacity = 65536;

class ReplySchedule {
 public:
  explicit ReplySchedule(const AdapterModel& model = AdapterModel::Ideal()) : model_(model) {}

  // Puts `count` bytes on the line, the first one starting at `start_micros`, one every
  // `byte_micros` (the i-th is through at start + (i + 1) * byte_micros).
  void Add(const uint8_t* bytes, size_t count, uint64_t start_micros, uint64_t byte_micros);

  // The bytes the adapter hands to the host by `now_micros`, oldest first; they stay until
  // Consume.
  std::vector<uint8_t> Due(uint64_t now_micros);
  // Removes the `count` oldest bytes (those handed to the host).
  void Consume(size_t count);

  // When the next bytes fall due, if there are any.
  std::optional<uint64_t> NextDueMicros() const;
  size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }
  void Clear() {
    bytes_.clear();
    released_ = 0;
  }
  uint64_t lost() const { return lost_; }

 private:
  struct TimedByte {
    uint64_t at_micros;
    uint64_t span_micros;  // how long the byte is on the line
    uint8_t byte;
  };
  void Put(uint64_t at_micros, uint64_t span_micros, uint8_t byte);

  AdapterModel model_;
  std::deque<TimedByte> bytes_;  // in time order
  size_t released_ = 0;          // the first bytes, due to the host
  uint64_t lost_ = 0;
};

}  // namespace quillmont::sim
