// The bytes the simulated fixtures send back, each with the time its last bit is through, in
// time order. A pseudo-terminal has no baud rate, so the server keeps the line's timing itself:
// a byte is handed to the host only when its time has come. Bytes of several fixtures that are
// on the line at once collide (each is the bitwise AND of the bytes during its time: a driven 0
// wins), as on a real RS485 line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace quillmont::sim {

// At most this many bytes wait to go out; later ones are lost, as in an overflowing adapter.
inline constexpr size_t kReplyScheduleCapacity = 65536;

class ReplySchedule {
 public:
  // Puts `count` bytes on the line, the first one starting at `start_micros`, one every
  // `byte_micros` (the i-th is through at start + (i + 1) * byte_micros).
  void Add(const uint8_t* bytes, size_t count, uint64_t start_micros, uint64_t byte_micros);

  // The bytes that are through by `now_micros`, oldest first; they stay until Consume.
  std::vector<uint8_t> Due(uint64_t now_micros) const;
  // Removes the `count` oldest bytes (those handed to the host).
  void Consume(size_t count);

  // When the next byte is through, if there is one.
  std::optional<uint64_t> NextDueMicros() const;
  size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }
  void Clear() { bytes_.clear(); }
  uint64_t lost() const { return lost_; }

 private:
  struct TimedByte {
    uint64_t at_micros;
    uint64_t span_micros;  // how long the byte is on the line
    uint8_t byte;
  };
  void Put(uint64_t at_micros, uint64_t span_micros, uint8_t byte);

  std::deque<TimedByte> bytes_;  // in time order
  uint64_t lost_ = 0;
};

}  // namespace quillmont::sim
