// SPDX-License-Identifier: Apache-2.0
#include "sim/simulated_fixture.h"

#include <algorithm>
#include <cstring>

#include "rdm/byte_order.h"
#include "rdm/discovery.h"
#include "rdm/message.h"
#include "update/bootloader_request.h"

namespace quillmont {

namespace {

// A low-start application carries its signature in its first four bytes at 0x2000, recognised by
// the 02 23 in its last two, as the image analysis finds it.
constexpr uint32_t kLowStartSignature = 0x2000;
// An image's signature stands at the start of a 256-byte page.
constexpr uint32_t kPageSize = 0x100;

// Whether `request` is a well-formed RDM request: start codes, a message length that matches its
// size and its PDL, and a good checksum.
bool IsWellFormed(const RdmFrameView& request) {
  const auto bytes = request.bytes();
  return bytes[kOffsetStartCode] == kRdmStartCode &&
         bytes[kOffsetSubStartCode] == kRdmSubStartCode &&
         FrameSizeFromMessageLength(request.message_length()) == static_cast<int>(bytes.size()) &&
         request.data().size() == request.pdl() &&
         request.pdl() + kOffsetParameterData == request.message_length() &&
         IsFrameChecksumGood(bytes.data(), bytes.size());
}

// Whether [at, at + 4) lies inside [begin, begin + count).
bool Covers(uint32_t begin, size_t count, uint32_t at) {
  return at >= begin && at - begin <= count && count - (at - begin) >= 4;
}

}  // namespace

SimulatedFixture::SimulatedFixture(const FixtureConfig& config)
    : config_(config),
      dmx_start_address_(config.dmx_start_address),
      application_signature_(config.signature_address) {
  if (config_.start_in_bootloader) {
    stage_ = config_.low_bootloader ? FixtureStage::kLowBootloader : FixtureStage::kBootloader;
    return;
  }
  InstallApplication(config_.application_label);
}

void SimulatedFixture::InstallApplication(const std::string& label) {
  flash_.Load(config_.signature_address, config_.signature_value.data(), 4);
  uint8_t text[kMaxVersionLabel + 1] = {};
  const size_t length = std::min(label.size(), kMaxVersionLabel);
  std::memcpy(text, label.data(), length);
  flash_.Load(config_.signature_address + kVersionLabelOffset, text,
              static_cast<uint32_t>(std::min(length + 1, kMaxVersionLabel)));
  signature_written_last_ = config_.signature_address;
}

void SimulatedFixture::AdvanceTo(uint64_t at_micros) {
  if (pending_stage_ && at_micros >= busy_until_micros_) {
    stage_ = *pending_stage_;
    pending_stage_.reset();
    muted_ = false;
    identifying_ = false;
  }
}

void SimulatedFixture::ResetInto(FixtureStage stage, uint64_t at_micros) {
  pending_stage_ = stage;
  busy_until_micros_ = at_micros + Scaled(uint64_t{config_.reset_ms} * 1000);
}

// A low-start application's signature at 0x2000 (its 02 23 at 0x2002), or the configured
// signature value at the configured address or at any page boundary: an image from 0x9000
// carries its signature at 0x9100.
bool SimulatedFixture::SignatureStandsAt(uint32_t at) const {
  if (at > kFlashSize - 4) {
    return false;
  }
  if (at == kLowStartSignature && flash_.at(at + 2) == 0x02 && flash_.at(at + 3) == 0x23) {
    return true;
  }
  if (at != config_.signature_address && at % kPageSize != 0) {
    return false;
  }
  for (uint32_t i = 0; i < 4; ++i) {
    if (flash_.at(at + i) != config_.signature_value[i]) {
      return false;
    }
  }
  return true;
}

bool SimulatedFixture::ApplicationValid() const {
  return SignatureStandsAt(config_.signature_address) || SignatureStandsAt(kLowStartSignature);
}

bool SimulatedFixture::WholeApplication() const {
  return signature_written_last_ && SignatureStandsAt(*signature_written_last_);
}

std::string SimulatedFixture::ApplicationLabel() const {
  std::string label;
  const uint32_t at = application_signature_ + kVersionLabelOffset;
  for (uint32_t i = 0; i < kMaxVersionLabel && at < kFlashSize - i; ++i) {
    const uint8_t c = flash_.at(at + i);
    if (c == 0) {
      break;
    }
    label.push_back(static_cast<char>(c));  // the bytes as they stand, as a fixture sends them
  }
  return label;
}

std::optional<FixtureReply> SimulatedFixture::OnRequest(const uint8_t* frame, size_t size,
                                                        uint64_t at_micros) {
  AdvanceTo(at_micros);
  if (pending_stage_ || at_micros < busy_until_micros_) {
    return std::nullopt;  // resetting, erasing or programming: the UART is not listening
  }
  if (frame == nullptr || size > kRdmFrameBufferSize) {
    return std::nullopt;
  }
  const auto request = RdmFrameView::Of({frame, size});
  if (!request || !IsWellFormed(*request)) {
    return std::nullopt;
  }
  const RdmUid& uid = config_.uid;
  const RdmUid destination = request->destination();
  const bool all_devices = destination == kBroadcastUid;
  const bool all_of_maker =
      destination[0] == uid[0] && destination[1] == uid[1] &&
      std::all_of(destination.begin() + 2, destination.end(), [](uint8_t b) { return b == 0xFF; });
  const bool broadcast = all_devices || all_of_maker;
  if (!broadcast && destination != uid) {
    return std::nullopt;
  }
  auto reply = Dispatch(*request, at_micros);
  if (broadcast && !request->Is(DISCOVERY_COMMAND, DISC_UNIQUE_BRANCH)) {
    return std::nullopt;  // acted on, never answered
  }
  return reply;
}

std::optional<FixtureReply> SimulatedFixture::Dispatch(const RdmFrameView& request,
                                                       uint64_t at_micros) {
  if (request.command_class() == DISCOVERY_COMMAND) {
    return Discovery(request);
  }
  if (stage_ == FixtureStage::kApplication) {
    return ApplicationCommand(request, at_micros);
  }
  return BootloaderCommand(request, at_micros);
}

std::optional<FixtureReply> SimulatedFixture::Discovery(const RdmFrameView& request) {
  const auto pd = request.data();
  if (request.pid() == DISC_UNIQUE_BRANCH) {
    if (pd.size() != 12 || muted_) {
      return std::nullopt;
    }
    RdmUid lower{};
    RdmUid upper{};
    std::copy_n(pd.begin(), 6, lower.begin());
    std::copy_n(pd.begin() + 6, 6, upper.begin());
    // UIDs compare as 48-bit numbers, most significant byte first.
    if (config_.uid < lower || upper < config_.uid) {
      return std::nullopt;
    }
    FixtureReply reply;
    reply.bytes.resize(32);
    reply.bytes.resize(
        EncodeDiscoveryAnswer(config_.uid, config_.discovery_preamble, reply.bytes.data()));
    reply.delay_micros = Scaled(config_.turnaround_micros);
    reply.with_break = false;
    return reply;
  }
  if ((request.pid() != DISC_MUTE && request.pid() != DISC_UN_MUTE) || !pd.empty()) {
    return std::nullopt;
  }
  muted_ = request.pid() == DISC_MUTE;
  uint8_t control = 0;
  if (stage_ == FixtureStage::kBootloader) {
    control = kControlBootLoader;
  } else if (stage_ == FixtureStage::kLowBootloader) {
    control = kControlBootLoader | kControlLowBootLoader;
  }
  const uint8_t field[2] = {0x00, control};
  return Respond(request, RESPONSE_TYPE_ACK, field);
}

std::optional<FixtureReply> SimulatedFixture::ApplicationCommand(const RdmFrameView& request,
                                                                 uint64_t at_micros) {
  const uint8_t command_class = request.command_class();
  if (command_class != GET_COMMAND && command_class != SET_COMMAND) {
    return std::nullopt;
  }
  if (request.sub_device() != 0) {
    return Nack(request, NR_SUB_DEVICE_OUT_OF_RANGE);
  }
  const auto pd = request.data();
  if (command_class == GET_COMMAND) {
    if (!pd.empty()) {
      return Nack(request, NR_FORMAT_ERROR);
    }
    switch (request.pid()) {
      case DEVICE_INFO:
        return DeviceInfo(request);
      case DEVICE_MODEL_DESCRIPTION:
        return Text(request, config_.model_description);
      case SOFTWARE_VERSION_LABEL:
        return Text(request, ApplicationLabel());
      case DMX_START_ADDRESS: {
        uint8_t address[2];
        PutBe16(address, dmx_start_address_);
        return Respond(request, RESPONSE_TYPE_ACK, address);
      }
      case IDENTIFY_DEVICE: {
        const uint8_t state[1] = {static_cast<uint8_t>(identifying_ ? 1 : 0)};
        return Respond(request, RESPONSE_TYPE_ACK, state);
      }
      default:
        return Nack(request, NR_UNKNOWN_PID);
    }
  }
  switch (request.pid()) {
    case DMX_START_ADDRESS: {
      if (pd.size() != 2) {
        return Nack(request, NR_FORMAT_ERROR);
      }
      const uint16_t address = GetBe16(pd.data());
      if (address < 1 || address > 512) {
        return Nack(request, NR_DATA_OUT_OF_RANGE);
      }
      dmx_start_address_ = address;
      return Respond(request, RESPONSE_TYPE_ACK, {});
    }
    case IDENTIFY_DEVICE:
      if (pd.size() != 1) {
        return Nack(request, NR_FORMAT_ERROR);
      }
      if (pd[0] > 1) {
        return Nack(request, NR_DATA_OUT_OF_RANGE);
      }
      identifying_ = pd[0] == 1;
      return Respond(request, RESPONSE_TYPE_ACK, {});
    case PID_BOOTLOADER:
      if (pd.size() == 2 && pd[0] == BOOT_SYNC && pd[1] == BOOT_ENTER) {
        ResetInto(config_.low_bootloader ? FixtureStage::kLowBootloader : FixtureStage::kBootloader,
                  at_micros);
        return std::nullopt;  // it resets at once, without a word
      }
      return Nack(request, NR_FORMAT_ERROR);
    default:
      return Nack(request, NR_UNKNOWN_PID);
  }
}

std::optional<FixtureReply> SimulatedFixture::BootloaderCommand(const RdmFrameView& request,
                                                                uint64_t at_micros) {
  if (request.sub_device() != 0) {
    return std::nullopt;
  }
  const auto pd = request.data();
  // A bootloader tells its version label and nothing else about itself: no model, no
  // DEVICE_INFO, no address.
  if (request.command_class() == GET_COMMAND) {
    if (request.pid() == SOFTWARE_VERSION_LABEL && pd.empty()) {
      return Text(request, config_.bootloader_label);
    }
    return std::nullopt;
  }
  if (request.command_class() != SET_COMMAND) {
    return std::nullopt;
  }
  if (request.pid() == IDENTIFY_DEVICE && pd.size() == 1 && pd[0] == 1 &&
      config_.refuse_start_reason != 0) {
    return Nack(request, config_.refuse_start_reason);
  }
  if (request.pid() == IDENTIFY_DEVICE && pd.size() == 1 && pd[0] <= 1) {
    FixtureReply reply = Respond(request, RESPONSE_TYPE_ACK, {});
    if (pd[0] == 1) {
      StartProgram(at_micros + reply.delay_micros);
    }
    return reply;
  }
  if (stage_ != FixtureStage::kBootloader || request.pid() != PID_BOOTLOADER || pd.size() < 2 ||
      pd[0] != BOOT_SYNC) {
    return std::nullopt;
  }
  if (pd[1] == BOOT_ERASE) {
    return Erase(request, at_micros);
  }
  if (pd[1] == BOOT_PROGRAM) {
    return Program(request, at_micros);
  }
  return std::nullopt;
}

// Where the program request at `address` of `length` bytes wrote a signature: the configured
// place or the low-start one when it covers them (a chunk that carries the placeholder there
// counts until the signature chunk follows), else the first page boundary in it where the
// signature now stands.
std::optional<uint32_t> SimulatedFixture::SignatureWrittenBy(uint32_t address,
                                                             size_t length) const {
  for (const uint32_t signature : {config_.signature_address, kLowStartSignature}) {
    if (Covers(address, length, signature)) {
      return signature;
    }
  }
  for (uint32_t page = (address + kPageSize - 1) / kPageSize * kPageSize;
       Covers(address, length, page); page += kPageSize) {
    if (SignatureStandsAt(page)) {
      return page;
    }
  }
  return std::nullopt;
}

// "Start program": the low bootloader jumps into the bootloader proper; the bootloader starts the
// application only when it is whole, and otherwise stays where it is, its acknowledgement sent
// all the same.
void SimulatedFixture::StartProgram(uint64_t at_micros) {
  if (stage_ == FixtureStage::kLowBootloader) {
    ResetInto(FixtureStage::kBootloader, at_micros);
  } else if (WholeApplication()) {
    application_signature_ = *signature_written_last_;
    ResetInto(FixtureStage::kApplication, at_micros);
  }
}

std::optional<FixtureReply> SimulatedFixture::Erase(const RdmFrameView& request,
                                                    uint64_t at_micros) {
  const auto address = ReadEraseRequest(request.data());
  if (!address || *address >= kFlashSize) {
    return std::nullopt;
  }
  ++erase_commands_;
  signature_written_last_.reset();
  const FlashRange range = EraseRangeAt(*address);
  const uint64_t erase_micros = Scaled(uint64_t{config_.erase_ms} * 1000);
  if (config_.reset_in_erase > 0 && erase_commands_ == config_.reset_in_erase) {
    flash_.Erase({range.begin, range.begin + (range.end - range.begin) / 2});
    ResetInto(config_.low_bootloader ? FixtureStage::kLowBootloader : FixtureStage::kBootloader,
              at_micros + erase_micros / 2);
    return std::nullopt;
  }
  flash_.Erase(range);
  const uint8_t ack[2] = {BOOT_SYNC, BOOT_ERASE};
  FixtureReply reply = Respond(request, RESPONSE_TYPE_ACK, ack);
  reply.delay_micros += erase_micros;
  busy_until_micros_ = at_micros + reply.delay_micros;
  return reply;
}

std::optional<FixtureReply> SimulatedFixture::Program(const RdmFrameView& request,
                                                      uint64_t at_micros) {
  const auto program = ReadProgramRequest(request.data());
  if (!program || program->address > kFlashSize - program->data.size()) {
    return std::nullopt;
  }
  const uint32_t address = program->address;
  const size_t length = program->data.size();
  flash_.Program(address, program->data.data(), static_cast<uint32_t>(length));
  // The bootloader starts only what was written last: a request that wrote a signature, with
  // nothing programmed or erased after it.
  signature_written_last_ = SignatureWrittenBy(address, length);
  FixtureReply reply = Respond(request, RESPONSE_TYPE_ACK, request.data(), GET_COMMAND_RESPONSE);
  reply.delay_micros += Scaled(uint64_t{config_.program_ms} * 1000);
  busy_until_micros_ = at_micros + reply.delay_micros;
  return reply;
}

FixtureReply SimulatedFixture::Respond(const RdmFrameView& request, uint8_t response_type,
                                       std::span<const uint8_t> data, uint8_t command_class) const {
  RdmFrameFields fields;
  fields.destination = request.source();
  fields.source = config_.uid;
  fields.transaction = request.transaction();
  fields.port_or_response_type = response_type;
  fields.sub_device = request.sub_device();
  fields.command_class =
      command_class != 0 ? command_class : static_cast<uint8_t>(request.command_class() + 1);
  fields.pid = request.pid();
  fields.data = data.data();
  fields.pdl = static_cast<uint8_t>(data.size());
  FixtureReply reply;
  reply.bytes.resize(kRdmFrameBufferSize);
  reply.bytes.resize(BuildRdmFrame(fields, reply.bytes.data()));
  reply.delay_micros = Scaled(config_.turnaround_micros);
  return reply;
}

FixtureReply SimulatedFixture::Nack(const RdmFrameView& request, uint16_t reason) const {
  uint8_t data[2];
  PutBe16(data, reason);
  return Respond(request, RESPONSE_TYPE_NACK_REASON, data);
}

// E1.20 DEVICE_INFO, 19 bytes: protocol 1.0, model ID, product category (fixture, moving
// yoke), software version ID, footprint, personality 1 of 1, start address, no sub-devices and
// no sensors.
FixtureReply SimulatedFixture::DeviceInfo(const RdmFrameView& request) const {
  std::array<uint8_t, 19> info{};
  PutBe16(&info[0], 0x0100);
  PutBe16(&info[2], config_.device_model_id);
  PutBe16(&info[4], 0x0101);
  PutBe32(&info[6], 0x00010000);
  PutBe16(&info[10], config_.dmx_footprint);
  PutBe16(&info[12], 0x0101);
  PutBe16(&info[14], dmx_start_address_);
  return Respond(request, RESPONSE_TYPE_ACK, info);
}

FixtureReply SimulatedFixture::Text(const RdmFrameView& request, const std::string& text) const {
  const size_t length = std::min(text.size(), kMaxVersionLabel);
  return Respond(request, RESPONSE_TYPE_ACK,
                 {reinterpret_cast<const uint8_t*>(text.data()), length});
}

}  // namespace quillmont
