// SPDX-License-Identifier: Apache-2.0
// A fixture scripted on a ScriptedDriver: it answers the frames the controller writes the way one
// RDM device (or several colliding ones) would, with each reply byte arriving on the
// VirtualClock at its time on the line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rdm/uid.h"
#include "support/scripted_driver.h"

namespace quillmont::testing {

class ScriptedFixture {
 public:
  // Answers every frame written to `driver` from now on.
  explicit ScriptedFixture(ScriptedDriver& driver);

  // The devices on the line; two or more answer discovery at once and collide.
  std::vector<RdmUid> uids = {{0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78}};
  std::string model = "Spot 575";
  std::string version = "1.07";
  uint16_t dmx_address = 1;
  // Whether the device answers RDM requests other than discovery.
  bool answers = true;
  // The time from the end of a request to the first reply byte, and one byte's time
  // (11 bits at 250000 baud).
  uint64_t turnaround_micros = 176;
  uint64_t byte_micros = 44;

  // What the device was told.
  int identify_on = -1;  // the last IDENTIFY_DEVICE value set; -1 before any
  std::vector<uint16_t> addresses_set;
  int un_mutes = 0;
  int discoveries = 0;

 private:
  void OnFrame(const std::vector<uint8_t>& frame);
  void Reply(const std::vector<uint8_t>& bytes);

  ScriptedDriver& driver_;
};

}  // namespace quillmont::testing
