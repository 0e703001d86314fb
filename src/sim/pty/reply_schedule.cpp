// SPDX-License-Identifier: Apache-2.0
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
  // Bytes already due to the host are out of reach.
  const auto held = bytes_.begin() + static_cast<std::ptrdiff_t>(released_);
  TimedByte* nearest = nullptr;
  uint64_t nearest_apart = UINT64_MAX;
  for (auto it = bytes_.rbegin(); it != std::make_reverse_iterator(held); ++it) {
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
      std::upper_bound(held, bytes_.end(), at_micros,
                       [](uint64_t t, const TimedByte& b) { return t < b.at_micros; });
  bytes_.insert(position, TimedByte{at_micros, span_micros, byte});
}

std::vector<uint8_t> ReplySchedule::Due(uint64_t now_micros) {
  released_ = ReleasedToHost(
      model_, [this](size_t i) { return bytes_[i].at_micros; }, bytes_.size(), released_,
      now_micros);
  std::vector<uint8_t> due;
  due.reserve(released_);
  for (size_t i = 0; i < released_; ++i) {
    due.push_back(bytes_[i].byte);
  }
  return due;
}

void ReplySchedule::Consume(size_t count) {
  count = std::min(count, bytes_.size());
  bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(count));
  released_ -= std::min(count, released_);
}

std::optional<uint64_t> ReplySchedule::NextDueMicros() const {
  if (bytes_.empty()) {
    return std::nullopt;
  }
  if (released_ > 0) {
    return bytes_.front().at_micros;
  }
  // The packet that holds the next byte goes when it is full or its latency timer runs out.
  return NextReleaseMicros(
      model_, [this](size_t i) { return bytes_[i].at_micros; }, bytes_.size(), 0);
}

}  // namespace quillmont::sim
