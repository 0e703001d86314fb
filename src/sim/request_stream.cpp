#include "sim/request_stream.h"

#include "rdm/message.h"

namespace quillmont {

void RequestStreamParser::Feed(const uint8_t* bytes, size_t count, const FrameFn& on_frame) {
  for (size_t i = 0; i < count; ++i) {
    buffer_.push_back(bytes[i]);
    Scan(on_frame);
  }
}

void RequestStreamParser::Scan(const FrameFn& on_frame) {
  // Each pass either waits for more bytes, takes a frame, or drops the first byte and looks
  // again from the next one; so a false start code inside garbage costs one byte.
  while (!buffer_.empty()) {
    if (buffer_[0] != kRdmStartCode) {
      buffer_.erase(buffer_.begin());
      ++dropped_;
      continue;
    }
    if (buffer_.size() < 3) {
      return;
    }
    const uint8_t message_length = buffer_[kOffsetMessageLength];
    if (!IsUsableMessageLength(message_length)) {
      buffer_.erase(buffer_.begin());
      ++dropped_;
      continue;
    }
    const size_t size = static_cast<size_t>(FrameSizeFromMessageLength(message_length));
    if (buffer_.size() < size) {
      return;
    }
    if (IsFrameChecksumGood(buffer_.data(), size)) {
      on_frame(buffer_.data(), size);
      buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(size));
    } else {
      buffer_.erase(buffer_.begin());
      ++dropped_;
    }
  }
}

}  // namespace quillmont
