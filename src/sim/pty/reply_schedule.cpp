#include "sim/pty/reply_schedule.h"

#include <algorithm>

namespace quillmont::sim {

void ReplySchedule::Add(const uint8_t* bytes, size_t count, uint64_t start_micros,
                        uint64_t byte_micros) {
  for (size_t i = 0; i < count; ++i) {
    Put(start_micros + (i + 1) * byte_micros, byte_micros, bytes[i]);
  }
}

void ReplySchedule::Put(uint64_t at_micros, uint64_t span_micros, uint8_t byte) {
  // A byte on the line while another one is there collides with the one it overlaps most (the
  // nearest in time). Bytes are short and sorted, so only the last few can overlap.
  TimedByte* nearest = nullptr;
  uint64_t nearest_apart = UINT64_MAX;
  for (auto it = bytes_.rbegin(); it != bytes_.rend(); ++it) {
    const uint64_t span = std::max(span_micros, it->span_micros);
    const uint64_t apart =
        it->at_micros > at_micros ? it->at_micros - at_micros : at_micros - it->at_micros;
    if (apart < span && apart < nearest_apart) {
      nearest = &*it;
      nearest_apart = apart;
    }
    if (it->at_micros + span <= at_micros) {
      break;
    }
  }
  if (nearest != nullptr) {
    nearest->byte &= byte;
    return;
  }
  if (bytes_.size() >= kReplyScheduleCapacity) {
    ++lost_;
    return;
  }
  const auto position =
      std::upper_bound(bytes_.begin(), bytes_.end(), at_micros,
                       [](uint64_t t, const TimedByte& b) { return t < b.at_micros; });
  bytes_.insert(position, TimedByte{at_micros, span_micros, byte});
}

std::vector<uint8_t> ReplySchedule::Due(uint64_t now_micros) const {
  std::vector<uint8_t> due;
  for (const TimedByte& b : bytes_) {
    if (b.at_micros > now_micros) {
      break;
    }
    due.push_back(b.byte);
  }
  return due;
}

void ReplySchedule::Consume(size_t count) {
  bytes_.erase(bytes_.begin(),
               bytes_.begin() + static_cast<std::ptrdiff_t>(std::min(count, bytes_.size())));
}

std::optional<uint64_t> ReplySchedule::NextDueMicros() const {
  if (bytes_.empty()) {
    return std::nullopt;
  }
  return bytes_.front().at_micros;
}

}  // namespace quillmont::sim
