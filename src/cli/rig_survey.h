// Before a rig is updated: every fixture on a line is found by full discovery, asked where it
// runs (DISC_UN_MUTE, which also lifts the discovery's mute) and what it is (DEVICE_INFO, the
// model description and the software version), and the operator's selection is applied. Nothing
// here sends more than discovery and GET requests.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "drivers/driver_choice.h"
#include "rdm/uid.h"

namespace quillmont::cli {

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
};

// Discovers the fixtures on the first adapter of `drivers` that opens, at `baud` (the window's
// default when empty), and asks each one. False when no adapter opened.
bool SurveyRig(DriverSet& drivers, int adapter, const std::string& baud, std::ostream& diag,
               std::vector<RigFixture>& fixtures);

struct RigSelection {
  std::vector<RdmUid> uids;                 // only these (none: all)
  std::optional<uint16_t> model_id;         // only this model
  std::optional<std::string> skip_version;  // not those that already run it
};

struct RigChoice {
  int exit_code = 0;   // kExitSuccess, or why nothing may be sent to any bootloader
  std::string detail;  // for people, when the exit code is not success
};

// Marks each fixture selected or not, with its reason, and puts them in the order of the run:
// by line, fixtures in their bootloader first (an earlier update was cut short there), then by
// UID, the ones not updated last. A selection that names what is not there is refused: no
// fixture at all, a --uid on no line, a model that no fixture has.
RigChoice SelectRigFixtures(std::vector<RigFixture>& fixtures, const RigSelection& selection);

// "0x0100".
std::string ModelIdText(uint16_t model_id);

}  // namespace quillmont::cli
