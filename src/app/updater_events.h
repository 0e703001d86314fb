// SPDX-License-Identifier: Apache-2.0
// What happens in the window core, as typed events. The window shows the same moments as texts,
// beeps and log lines; every other front end (quillmont-cli, the tests) learns results from
// these events and never reads a window text back. Every member has an empty default, so an
// observer overrides only what it needs. Called on the core's one thread, from inside OnTick or
// an operator command.
#pragma once

#include <cstdint>
#include <string>

#include "rdm/frame_view.h"
#include "rdm/uid.h"
#include "update/update_state.h"

namespace quillmont {

// Why the single-device discovery found nothing.
enum class DiscoveryFailure {
  kNone,          // a fixture was found
  kNoAnswer,      // silence, or an answer that does not decode (two fixtures collide)
  kLineNotQuiet,  // the line did not fall quiet before the request
};

struct DiscoveryEvent {
  bool found = false;
  RdmUid uid{};  // when found
  DiscoveryFailure failure = DiscoveryFailure::kNone;
};

// The answer to a GET or SET the operator's commands sent to the target: an ACK or a NACK. An
// ACK_TIMER or ACK_OVERFLOW is no answer yet and is not told as one.
struct CommandAnswer {
  uint8_t command_class = 0;  // of the response (GET_COMMAND_RESPONSE, SET_COMMAND_RESPONSE)
  uint16_t pid = 0;
  uint8_t response_type = RESPONSE_TYPE_ACK;
  uint16_t nack_reason = 0;  // when response_type is RESPONSE_TYPE_NACK_REASON
};

// A device-information field the core took from an answer.
struct DeviceInfoEvent {
  uint16_t pid = 0;      // DEVICE_MODEL_DESCRIPTION, SOFTWARE_VERSION_LABEL or DMX_START_ADDRESS
  std::string text;      // the label as the fixture sent it, or the address in decimal
  uint16_t address = 0;  // DMX_START_ADDRESS only
};

class UpdaterEvents {
 public:
  virtual ~UpdaterEvents() = default;

  // The adapter was opened (true) or lost (false).
  virtual void OnLinkChanged(bool /*open*/) {}
  virtual void OnDiscovery(const DiscoveryEvent& /*event*/) {}
  // A complete frame with a good checksum, before it is acted on; a reply from a UID other
  // than the target is not accepted.
  virtual void OnReplyAccepted(const RdmFrameView& /*frame*/) {}
  virtual void OnCommandAnswered(const CommandAnswer& /*answer*/) {}
  virtual void OnDeviceInfo(const DeviceInfoEvent& /*info*/) {}
  virtual void OnUpdateProgress(const UpdateProgress& /*progress*/) {}
  virtual void OnUpdateEnded(UpdateOutcome /*outcome*/) {}
  // Something about the adapter the user must know, in a sentence ("No request can reach a
  // fixture: the adapter cannot send a break ..."), once per adapter; also in the log.
  virtual void OnLineNotice(const std::string& /*text*/) {}
  // Text the core appended to its log pane: one entry, without the CR LF that ends it (it may
  // hold CR LF of its own).
  virtual void OnLogAppended(const std::string& /*text*/) {}
};

}  // namespace quillmont
