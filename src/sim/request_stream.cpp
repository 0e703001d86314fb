// SPDX-License-Identifier: Apache-2.0
#include "sim/request_stream.h"

#include "rdm/message.h"

namespace quillmont {

void RequestStreamParser::Feed(const uint8_t* bytes, size_t count, const FrameFn& on_frame) {
  for (size_t i = 0; i < count; ++i) {
    buffer_.push_back(bytes[i]);
    Scan(on_frame);
  }
}

namespace {

// Whether a complete, good request frame starts at `at`.
bool GoodFrameAt(const std::vector<uint8_t>& buffer, size_t at) {
  if (buffer.size() - at < 3 || buffer[at] != kRdmStartCode ||
      buffer[at + kOffsetSubStartCode] != kRdmSubStartCode ||
      !IsUsableMessageLength(buffer[at + kOffsetMessageLength])) {
    return false;
  }
  const size_t size =
      static_cast<size_t>(FrameSizeFromMessageLength(buffer[at + kOffsetMessageLength]));
  return buffer.size() - at >= size && IsFrameChecksumGood(buffer.data() + at, size);
}

}  // namespace

void RequestStreamParser::Scan(const FrameFn& on_frame) {
  // Each pass either waits for more bytes, takes a frame, or drops bytes and looks again; so a
  // false start code inside garbage costs one byte.
  while (!buffer_.empty()) {
    const bool head_plausible =
        buffer_[0] == kRdmStartCode &&
        (buffer_.size() < 2 || buffer_[kOffsetSubStartCode] == kRdmSubStartCode) &&
        (buffer_.size() < 3 || IsUsableMessageLength(buffer_[kOffsetMessageLength]));
    if (!head_plausible) {
      buffer_.erase(buffer_.begin());
      ++dropped_;
      continue;
    }
    if (buffer_.size() < 3) {
      return;
    }
    const size_t size =
        static_cast<size_t>(FrameSizeFromMessageLength(buffer_[kOffsetMessageLength]));
    if (buffer_.size() >= size) {
      if (IsFrameChecksumGood(buffer_.data(), size)) {
        on_frame(buffer_.data(), size);
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(size));
      } else {
        buffer_.erase(buffer_.begin());
        ++dropped_;
      }
      continue;
    }
    // The head still waits for bytes. A garbage length must not hold back a real frame that has
    // already come in complete behind it: the frame wins, the false start is dropped.
    size_t later = 1;
    while (later < buffer_.size() && !GoodFrameAt(buffer_, later)) {
      ++later;
    }
    if (later == buffer_.size()) {
      return;
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(later));
    dropped_ += later;
  }
}

}  // namespace quillmont
