// SPDX-License-Identifier: Apache-2.0
#include "app/shown_frame_text.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "rdm/frame_view.h"
#include "rdm/message.h"

namespace quillmont {

namespace {

// The byte two upper-case hex digits spell, as the frame listing writes them.
std::optional<uint8_t> HexDigitPair(char high, char low) {
  const auto value = [](char c) -> int {
    if (c >= '0' && c <= '9') {
      return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
      return c - 'A' + 10;
    }
    return -1;
  };
  const int h = value(high);
  const int l = value(low);
  if (h < 0 || l < 0) {
    return std::nullopt;
  }
  return static_cast<uint8_t>(h * 16 + l);
}

// The bytes of a frame listing ("CC 01 1A ..."); nothing when it holds anything else.
std::optional<std::vector<uint8_t>> ListedBytes(const std::string& listing) {
  std::vector<uint8_t> bytes;
  size_t at = 0;
  while (at < listing.size()) {
    if (listing[at] == ' ') {
      ++at;
      continue;
    }
    if (at + 1 >= listing.size() || bytes.size() >= 512) {
      return std::nullopt;
    }
    const std::optional<uint8_t> byte = HexDigitPair(listing[at], listing[at + 1]);
    if (!byte) {
      return std::nullopt;
    }
    bytes.push_back(*byte);
    at += 2;
  }
  return bytes;
}

}  // namespace

std::string FrameViewShownText(const std::string& text) {
  if (text.find('\n') != std::string::npos) {
    return text;  // it has its header line already
  }
  const std::optional<std::vector<uint8_t>> bytes = ListedBytes(text);
  if (!bytes || bytes->size() < 3 ||
      static_cast<int>(bytes->size()) !=
          FrameSizeFromMessageLength((*bytes)[kOffsetMessageLength]) ||
      !IsFrameChecksumGood(bytes->data(), bytes->size())) {
    return text;  // a frame still arriving, or one that was dropped
  }
  const std::optional<RdmFrameView> view = RdmFrameView::Of(*bytes);
  if (!view) {
    return text;
  }
  char header[40];
  std::snprintf(header, sizeof header, "%02X %04X Len %d\r\n", view->command_class(), view->pid(),
                view->pdl());
  return header + text;
}

}  // namespace quillmont
