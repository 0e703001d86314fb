// SPDX-License-Identifier: Apache-2.0
#include "rdm/frame_view.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace quillmont {

std::optional<RdmFrameView> RdmFrameView::Of(std::span<const uint8_t> frame) {
  if (frame.size() < kRdmFrameOverhead) {
    return std::nullopt;
  }
  return RdmFrameView(frame);
}

RdmFrameView::RdmFrameView(std::span<const uint8_t> frame) : frame_(frame) {
  const size_t held = frame.size() - kRdmFrameOverhead;
  data_ = frame.subspan(kOffsetParameterData, std::min<size_t>(frame[kOffsetPdl], held));
}

RdmUid RdmFrameView::UidAt(size_t offset) const {
  RdmUid uid{};
  std::copy_n(frame_.begin() + static_cast<std::ptrdiff_t>(offset), uid.size(), uid.begin());
  return uid;
}

std::string NackReasonName(uint16_t reason) {
  switch (reason) {
    case NR_UNKNOWN_PID:
      return "NR_UNKNOWN_PID";
    case NR_FORMAT_ERROR:
      return "NR_FORMAT_ERROR";
    case NR_HARDWARE_FAULT:
      return "NR_HARDWARE_FAULT";
    case NR_PROXY_REJECT:
      return "NR_PROXY_REJECT";
    case NR_WRITE_PROTECT:
      return "NR_WRITE_PROTECT";
    case NR_UNSUPPORTED_COMMAND_CLASS:
      return "NR_UNSUPPORTED_COMMAND_CLASS";
    case NR_DATA_OUT_OF_RANGE:
      return "NR_DATA_OUT_OF_RANGE";
    case NR_BUFFER_FULL:
      return "NR_BUFFER_FULL";
    case NR_PACKET_SIZE_UNSUPPORTED:
      return "NR_PACKET_SIZE_UNSUPPORTED";
    case NR_SUB_DEVICE_OUT_OF_RANGE:
      return "NR_SUB_DEVICE_OUT_OF_RANGE";
    case NR_PROXY_BUFFER_FULL:
      return "NR_PROXY_BUFFER_FULL";
    default:
      break;
  }
  char text[16];
  std::snprintf(text, sizeof text, "NR_0x%04X", static_cast<unsigned>(reason));
  return text;
}

}  // namespace quillmont
