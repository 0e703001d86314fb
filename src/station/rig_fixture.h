// SPDX-License-Identifier: Apache-2.0
// One fixture of a rig as the survey found it, and what became of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "rdm/uid.h"
#include "station/flash_result.h"

namespace quillmont {

struct RigFixture {
  int adapter = 0;  // the line's number in the run
  RdmUid uid{};
  std::string uid_text;
  bool answered = false;             // it answered after the discovery
  bool in_bootloader = false;        // its control field carries the Boot-Loader flag
  std::optional<uint16_t> model_id;  // DEVICE_INFO's; a bootloader may not tell it
  std::string model;                 // DEVICE_MODEL_DESCRIPTION
  std::string version;               // SOFTWARE_VERSION_LABEL
  bool selected = false;             // to be updated
  std::string reason;                // why it is updated, or why not

  // Chosen and able to take an update.
  bool ToUpdate() const { return selected && answered; }
};

struct RigEntry {
  RigFixture fixture;
  FlashResult result;
  bool ran = false;  // its update ran
};

// "0x0100".
std::string ModelIdText(uint16_t model_id);

}  // namespace quillmont
