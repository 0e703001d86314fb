// SPDX-License-Identifier: Apache-2.0
// Frames RDM requests out of a plain byte stream with no breaks (a pseudo-terminal carries
// none): a frame starts with 0xCC 0x01, its size comes from the message-length byte (24 to 254),
// and its checksum must hold. Garbage is dropped a byte at a time until the stream falls into
// step again; a false start whose length asks for more bytes than have come gives way to a good
// frame that has come in complete behind it, so a request is never held back by noise before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace quillmont {

class RequestStreamParser {
 public:
  using FrameFn = std::function<void(const uint8_t* frame, size_t size)>;

  // Takes `count` bytes and calls `on_frame` for every complete good frame they finish.
  void Feed(const uint8_t* bytes, size_t count, const FrameFn& on_frame);

  // Bytes dropped while looking for a frame.
  uint64_t dropped() const { return dropped_; }
  size_t buffered() const { return buffer_.size(); }

 private:
  void Scan(const FrameFn& on_frame);

  std::vector<uint8_t> buffer_;  // never more than one frame of 256 bytes
  uint64_t dropped_ = 0;
};

}  // namespace quillmont
