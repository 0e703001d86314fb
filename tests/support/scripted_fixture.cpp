// SPDX-License-Identifier: Apache-2.0
#include "support/scripted_fixture.h"

#include <algorithm>

#include "rdm/discovery.h"
#include "rdm/message.h"
#include "support/window_harness.h"

namespace quillmont::testing {

ScriptedFixture::ScriptedFixture(ScriptedDriver& driver) : driver_(driver) {
  driver_.on_write = [this](const std::vector<uint8_t>& frame) { OnFrame(frame); };
}

void ScriptedFixture::Reply(const std::vector<uint8_t>& bytes) {
  // Delivered byte by byte, the way they come off the line.
  for (size_t i = 0; i < bytes.size(); ++i) {
    driver_.DeliverAfter(turnaround_micros + (i + 1) * byte_micros, {bytes[i]});
  }
}

void ScriptedFixture::OnFrame(const std::vector<uint8_t>& frame) {
  if (frame.size() < kRdmFrameOverhead || uids.empty()) {
    return;
  }
  const uint8_t command_class = frame[kOffsetCommandClass];
  const auto pid = static_cast<uint16_t>((frame[kOffsetPid] << 8) | frame[kOffsetPid + 1]);
  const uint8_t* data = frame.data() + kOffsetParameterData;
  const uint8_t pdl = frame[kOffsetPdl];

  if (command_class == DISCOVERY_COMMAND && pid == DISC_UN_MUTE) {
    ++un_mutes;
    return;  // the broadcast is not answered
  }
  if (command_class == DISCOVERY_COMMAND && pid == DISC_UNIQUE_BRANCH) {
    ++discoveries;
    // Several answers at once: the line's wired AND of their bytes.
    std::vector<uint8_t> answer(24, 0xFF);
    for (const RdmUid& uid : uids) {
      uint8_t one[24];
      EncodeDiscoveryAnswer(uid, 7, one);
      std::transform(answer.begin(), answer.end(), one, answer.begin(),
                     [](uint8_t a, uint8_t b) { return static_cast<uint8_t>(a & b); });
    }
    Reply(answer);
    return;
  }
  if (!answers || uids.size() != 1) {
    return;
  }
  const RdmUid& uid = uids.front();
  if (command_class == GET_COMMAND && pid == DEVICE_MODEL_DESCRIPTION) {
    Reply(ResponseFrame(uid, GET_COMMAND_RESPONSE, pid, TextBytes(model)));
  } else if (command_class == GET_COMMAND && pid == SOFTWARE_VERSION_LABEL) {
    Reply(ResponseFrame(uid, GET_COMMAND_RESPONSE, pid, TextBytes(version)));
  } else if (command_class == GET_COMMAND && pid == DMX_START_ADDRESS) {
    Reply(ResponseFrame(
        uid, GET_COMMAND_RESPONSE, pid,
        {static_cast<uint8_t>(dmx_address >> 8), static_cast<uint8_t>(dmx_address & 0xFF)}));
  } else if (command_class == SET_COMMAND && pid == DMX_START_ADDRESS && pdl == 2) {
    dmx_address = static_cast<uint16_t>((data[0] << 8) | data[1]);
    addresses_set.push_back(dmx_address);
    Reply(ResponseFrame(uid, SET_COMMAND_RESPONSE, pid, {}));
  } else if (command_class == SET_COMMAND && pid == IDENTIFY_DEVICE && pdl == 1) {
    identify_on = data[0];
    Reply(ResponseFrame(uid, SET_COMMAND_RESPONSE, pid, {}));
  }
}

}  // namespace quillmont::testing
