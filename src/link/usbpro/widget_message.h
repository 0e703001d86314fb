// SPDX-License-Identifier: Apache-2.0
// The message protocol of a DMX USB Pro-style widget, spoken over its USB serial port in both
// directions: 0x7E, a label, the data length (LSB, MSB), the data, 0xE7.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace quillmont::usbpro {

inline constexpr uint8_t kStartOfMessage = 0x7E;
inline constexpr uint8_t kEndOfMessage = 0xE7;
// The most data one message carries.
inline constexpr size_t kMaxMessageData = 600;
// Start, label, two length bytes, end.
inline constexpr size_t kMessageOverhead = 5;

// The labels this program sends or acts on.
inline constexpr uint8_t kLabelGetParameters = 3;  // answer: firmware LSB, MSB, break, MAB, rate
inline constexpr uint8_t kLabelReceivedData = 5;   // a status byte, then the bytes received
inline constexpr uint8_t kLabelSendRdm = 7;        // an RDM request, sent after a break
inline constexpr uint8_t kLabelGetSerial = 10;  // answer: 4 bytes of BCD, least significant first
inline constexpr uint8_t kLabelSendRdmDiscovery = 11;  // DISC_UNIQUE_BRANCH; answered by 5 or 12
inline constexpr uint8_t kLabelDiscoveryTimeout = 12;  // nothing answered the discovery request

// One whole message, or an empty vector when the data is longer than kMaxMessageData.
std::vector<uint8_t> EncodeMessage(uint8_t label, std::span<const uint8_t> data);

// True for a DISC_UNIQUE_BRANCH request frame (start code 0xCC, command class
// DISCOVERY_COMMAND, PID 0x0001), which a widget sends with label 11.
bool IsDiscUniqueBranch(std::span<const uint8_t> frame);

// The widget's serial number as it prints on its label: the 4 BCD bytes, most significant first
// ("12345678"). A nibble above 9 shows as its hex digit.
std::string SerialText(std::span<const uint8_t, 4> bcd);

// Splits a byte stream into messages. Bytes before a start byte, a message whose length exceeds
// kMaxMessageData and a message whose end byte is wrong are dropped and counted, and the search
// goes on at the next start byte (a wrong end byte that is itself a start byte begins the next
// message). Memory is bounded by one message; no input makes it wait for more than the length
// it has read allows.
class MessageParser {
 public:
  using MessageFn = std::function<void(uint8_t label, std::span<const uint8_t> data)>;

  void Feed(const uint8_t* bytes, size_t count, const MessageFn& on_message);
  void Reset();

  uint64_t messages() const { return messages_; }
  // Bytes outside any message; messages with a wrong end byte; lengths beyond the limit.
  uint64_t stray_bytes() const { return stray_bytes_; }
  uint64_t bad_ends() const { return bad_ends_; }
  uint64_t too_long() const { return too_long_; }
  uint64_t faults() const { return stray_bytes_ + bad_ends_ + too_long_; }

 private:
  enum class State { kStart, kLabel, kLengthLow, kLengthHigh, kData, kEnd };

  State state_ = State::kStart;
  uint8_t label_ = 0;
  size_t length_ = 0;
  std::vector<uint8_t> data_;
  uint64_t messages_ = 0;
  uint64_t stray_bytes_ = 0;
  uint64_t bad_ends_ = 0;
  uint64_t too_long_ = 0;
};

}  // namespace quillmont::usbpro
