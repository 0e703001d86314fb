// SPDX-License-Identifier: Apache-2.0
#include "link/usbpro/widget_message.h"

namespace quillmont::usbpro {

std::vector<uint8_t> EncodeMessage(uint8_t label, std::span<const uint8_t> data) {
  if (data.size() > kMaxMessageData) {
    return {};
  }
  std::vector<uint8_t> message;
  message.reserve(data.size() + kMessageOverhead);
  message.push_back(kStartOfMessage);
  message.push_back(label);
  message.push_back(static_cast<uint8_t>(data.size() & 0xFF));
  message.push_back(static_cast<uint8_t>(data.size() >> 8));
  message.insert(message.end(), data.begin(), data.end());
  message.push_back(kEndOfMessage);
  return message;
}

bool IsDiscUniqueBranch(std::span<const uint8_t> frame) {
  // Start code, sub-start code, ..., command class at 20, PID at 21 and 22.
  return frame.size() >= 24 && frame[0] == 0xCC && frame[1] == 0x01 && frame[20] == 0x10 &&
         frame[21] == 0x00 && frame[22] == 0x01;
}

std::string SerialText(std::span<const uint8_t, 4> bcd) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 4; i-- > 0;) {
    text += kDigits[bcd[i] >> 4];
    text += kDigits[bcd[i] & 0x0F];
  }
  return text;
}

void MessageParser::Reset() {
  state_ = State::kStart;
  data_.clear();
}

void MessageParser::Feed(const uint8_t* bytes, size_t count, const MessageFn& on_message) {
  for (size_t i = 0; i < count; ++i) {
    const uint8_t byte = bytes[i];
    switch (state_) {
      case State::kStart:
        if (byte == kStartOfMessage) {
          state_ = State::kLabel;
        } else {
          ++stray_bytes_;
        }
        break;
      case State::kLabel:
        label_ = byte;
        state_ = State::kLengthLow;
        break;
      case State::kLengthLow:
        length_ = byte;
        state_ = State::kLengthHigh;
        break;
      case State::kLengthHigh:
        length_ |= static_cast<size_t>(byte) << 8;
        data_.clear();
        if (length_ > kMaxMessageData) {
          ++too_long_;
          state_ = State::kStart;
        } else {
          state_ = length_ == 0 ? State::kEnd : State::kData;
        }
        break;
      case State::kData:
        data_.push_back(byte);
        if (data_.size() == length_) {
          state_ = State::kEnd;
        }
        break;
      case State::kEnd:
        state_ = State::kStart;
        if (byte == kEndOfMessage) {
          ++messages_;
          on_message(label_, data_);
        } else {
          ++bad_ends_;
          if (byte == kStartOfMessage) {
            state_ = State::kLabel;  // the wrong end byte may begin the next message
          }
        }
        data_.clear();
        break;
    }
  }
}

}  // namespace quillmont::usbpro
