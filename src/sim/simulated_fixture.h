// SPDX-License-Identifier: Apache-2.0
// A simulated RDM fixture with an application, a bootloader and 256 KiB of NOR flash. It takes
// request frames as they reach it on the line and returns the reply it sends, if any, with the
// time the reply takes to start.
//
// Application: discovery (DISC_UNIQUE_BRANCH within its range while not muted, DISC_MUTE and
// DISC_UN_MUTE with a control field of 0), GET DEVICE_INFO, DEVICE_MODEL_DESCRIPTION,
// SOFTWARE_VERSION_LABEL, DMX_START_ADDRESS and IDENTIFY_DEVICE, SET DMX_START_ADDRESS (1 to 512)
// and IDENTIFY_DEVICE; SET PID_BOOTLOADER 55 AA resets it into its bootloader, without a reply.
// Other PIDs get NACK_REASON UNKNOWN_PID; sub-devices other than 0 get SUB_DEVICE_OUT_OF_RANGE.
//
// Bootloader: the same discovery, with the Boot-Loader flag 0x04 in the control field; the erase
// and program commands of PID_BOOTLOADER (malformed ones or ones with a bad word-sum checksum get
// no reply); SET IDENTIFY_DEVICE 0x01 ("start program") is acknowledged, but starts only a whole
// application: one whose signature was written by the last program request, with no erase after
// it, and stands at its place (the configured signature at its address or at any 256-byte page
// boundary, or a low-start image's 02 23 at 0x2002).
// Otherwise the fixture stays in its bootloader. Of the GETs, it answers SOFTWARE_VERSION_LABEL
// alone (the label names the bootloader), as bootloaders do; everything else goes unanswered.
//
// Low-bootloader variant: a reset lands first in a small low bootloader, which marks the control
// field with 0x04 | 0x08 and knows one command, SET IDENTIFY_DEVICE 0x01, which makes it jump into
// the bootloader proper.
//
// Requests to other UIDs get no reply; broadcasts are acted on but never answered (except
// DISC_UNIQUE_BRANCH, which is always broadcast). While it resets, erases or programs the fixture
// takes no request at all.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "rdm/frame_view.h"
#include "rdm/uid.h"
#include "sim/nor_flash.h"

namespace quillmont {

// Where the application's software version label lives, after its signature.
inline constexpr uint32_t kVersionLabelOffset = 0x10;
inline constexpr size_t kMaxVersionLabel = 32;

struct FixtureConfig {
  RdmUid uid = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};
  std::string model_description = "Quillmont Sim Spot";
  uint16_t device_model_id = 0x0100;  // DEVICE_INFO's model ID
  uint16_t dmx_footprint = 16;
  uint16_t dmx_start_address = 1;
  uint32_t baud = 250000;            // the DMX line's rate
  uint32_t turnaround_micros = 200;  // from the end of a request to the start of the reply
  uint32_t reset_ms = 50;            // into the bootloader, into the application
  uint32_t erase_ms = 40;            // per erase command
  uint32_t program_ms = 2;           // per program command
  int discovery_preamble = 7;        // 0xFE bytes before a discovery answer (0 to 7)
  // The application is valid when these 4 bytes stand at this address.
  uint32_t signature_address = 0x4100;
  std::array<uint8_t, 4> signature_value = {0x47, 0x4B, 0x4A, 0x41};  // "GKJA"
  bool low_bootloader = false;
  bool start_in_bootloader = false;
  // Starting in the application, the flash holds the signature and this label, nothing else.
  std::string application_label = "Quillmont demo app 1.0";
  std::string bootloader_label = "Quillmont Sim Bootloader 1.0";
  // Faults: every time is multiplied by `slow`; the reset_in_erase-th erase command (from 1; 0 is
  // never) stops half-way with a reset, without a reply.
  uint32_t slow = 1;
  int reset_in_erase = 0;
  // Not 0: the bootloader refuses the start request with a NACK of this reason and stays.
  uint16_t refuse_start_reason = 0;
};

enum class FixtureStage { kApplication, kLowBootloader, kBootloader };

struct FixtureReply {
  std::vector<uint8_t> bytes;
  uint64_t delay_micros = 0;  // from the end of the request to the reply's first byte
  bool with_break = true;     // RDM responses begin with a break; discovery answers do not
};

class SimulatedFixture {
 public:
  explicit SimulatedFixture(const FixtureConfig& config = {});

  // A request frame (start code to checksum) whose last byte reached the fixture at `at_micros`.
  // Frames that are not well-formed RDM requests are ignored.
  std::optional<FixtureReply> OnRequest(const uint8_t* frame, size_t size, uint64_t at_micros);

  // Completes a reset that is due by `at_micros` (the line calls it before every operation).
  void AdvanceTo(uint64_t at_micros);

  FixtureStage stage() const { return stage_; }
  bool resetting() const { return pending_stage_.has_value(); }
  bool muted() const { return muted_; }
  bool identifying() const { return identifying_; }
  uint16_t dmx_start_address() const { return dmx_start_address_; }
  const NorFlash& flash() const { return flash_; }
  NorFlash& flash() { return flash_; }
  const FixtureConfig& config() const { return config_; }
  FixtureConfig& config() { return config_; }
  int erase_commands() const { return erase_commands_; }

  // Whether a signature stands at its address (the configured one, or a low-start image's at
  // 0x2000); whether the application is whole, so that "start program" starts it; and the label
  // after the signature of the application that runs (or ran last).
  bool ApplicationValid() const;
  bool WholeApplication() const;
  std::string ApplicationLabel() const;

  // Puts the configured signature and `label` after it into flash, as a finished update leaves
  // them: the application is whole.
  void InstallApplication(const std::string& label);

 private:
  std::optional<FixtureReply> Dispatch(const RdmFrameView& request, uint64_t at_micros);
  std::optional<FixtureReply> Discovery(const RdmFrameView& request);
  std::optional<FixtureReply> ApplicationCommand(const RdmFrameView& request, uint64_t at_micros);
  std::optional<FixtureReply> BootloaderCommand(const RdmFrameView& request, uint64_t at_micros);
  std::optional<FixtureReply> Erase(const RdmFrameView& request, uint64_t at_micros);
  std::optional<FixtureReply> Program(const RdmFrameView& request, uint64_t at_micros);
  void StartProgram(uint64_t at_micros);
  bool SignatureStandsAt(uint32_t at) const;
  std::optional<uint32_t> SignatureWrittenBy(uint32_t address, size_t length) const;
  FixtureReply Respond(const RdmFrameView& request, uint8_t response_type,
                       std::span<const uint8_t> data, uint8_t command_class = 0) const;
  FixtureReply Nack(const RdmFrameView& request, uint16_t reason) const;
  FixtureReply Text(const RdmFrameView& request, const std::string& text) const;
  FixtureReply DeviceInfo(const RdmFrameView& request) const;
  void ResetInto(FixtureStage stage, uint64_t at_micros);
  uint64_t Scaled(uint64_t micros) const { return micros * (config_.slow == 0 ? 1 : config_.slow); }

  FixtureConfig config_;
  NorFlash flash_;
  FixtureStage stage_ = FixtureStage::kApplication;
  std::optional<FixtureStage> pending_stage_;
  uint64_t busy_until_micros_ = 0;
  bool muted_ = false;
  bool identifying_ = false;
  uint16_t dmx_start_address_ = 1;
  int erase_commands_ = 0;
  // The signature that the last program request wrote, while nothing was programmed or erased
  // after it.
  std::optional<uint32_t> signature_written_last_;
  // Where the application that runs, or ran last, has its signature (its label follows it).
  uint32_t application_signature_;
};

}  // namespace quillmont
