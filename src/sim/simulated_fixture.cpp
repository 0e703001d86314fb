#include "sim/simulated_fixture.h"

#include <algorithm>
#include <cstring>

#include "rdm/discovery.h"
#include "rdm/message.h"
#include "update/update_job.h"

namespace quillmont {

struct SimulatedFixture::Request {
  RdmUid destination{};
  RdmUid source{};
  uint8_t transaction = 0;
  uint16_t sub_device = 0;
  uint8_t command_class = 0;
  uint16_t pid = 0;
  const uint8_t* pd = nullptr;
  uint8_t pdl = 0;
  bool broadcast = false;
};

namespace {

uint32_t ReadBe32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

uint16_t ReadBe16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// The word-sum checksum of the first `words` words of `pd` equals the 4 bytes after them.
bool WordSumHolds(const uint8_t* pd, int words) {
  uint8_t buffer[kRdmFrameBufferSize] = {};
  const size_t covered = static_cast<size_t>(words) * 2;
  std::memcpy(buffer, pd, covered);
  WordSumChecksum(buffer, static_cast<int16_t>(words));
  return std::memcmp(buffer + covered, pd + covered, 4) == 0;
}

}  // namespace

SimulatedFixture::SimulatedFixture(const FixtureConfig& config)
    : config_(config), dmx_start_address_(config.dmx_start_address) {
  if (config_.start_in_bootloader) {
    stage_ = config_.low_bootloader ? FixtureStage::kLowBootloader : FixtureStage::kBootloader;
    return;
  }
  flash_.Load(config_.signature_address, config_.signature_value.data(), 4);
  uint8_t label[kMaxVersionLabel + 1] = {};
  const size_t length = std::min(config_.application_label.size(), kMaxVersionLabel);
  std::memcpy(label, config_.application_label.data(), length);
  flash_.Load(config_.signature_address + kVersionLabelOffset, label,
              static_cast<uint32_t>(std::min(length + 1, kMaxVersionLabel)));
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

bool SimulatedFixture::ApplicationValid() const {
  const uint32_t at = config_.signature_address;
  if (at > kFlashSize - 4) {
    return false;
  }
  for (uint32_t i = 0; i < 4; ++i) {
    if (flash_.at(at + i) != config_.signature_value[i]) {
      return false;
    }
  }
  return true;
}

std::string SimulatedFixture::ApplicationLabel() const {
  std::string label;
  const uint32_t at = config_.signature_address + kVersionLabelOffset;
  for (uint32_t i = 0; i < kMaxVersionLabel && at < kFlashSize - i; ++i) {
    const uint8_t c = flash_.at(at + i);
    if (c == 0) {
      break;
    }
    label.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  }
  return label;
}

std::optional<FixtureReply> SimulatedFixture::OnRequest(const uint8_t* frame, size_t size,
                                                        uint64_t at_micros) {
  AdvanceTo(at_micros);
  if (pending_stage_ || at_micros < busy_until_micros_) {
    return std::nullopt;  // resetting, erasing or programming: the UART is not listening
  }
  if (frame == nullptr || size < kRdmFrameOverhead || size > kRdmFrameBufferSize ||
      frame[kOffsetStartCode] != kRdmStartCode || frame[kOffsetSubStartCode] != kRdmSubStartCode ||
      FrameSizeFromMessageLength(frame[kOffsetMessageLength]) != static_cast<int>(size) ||
      frame[kOffsetPdl] + kOffsetParameterData != frame[kOffsetMessageLength] ||
      !IsFrameChecksumGood(frame, size)) {
    return std::nullopt;
  }
  Request request;
  std::memcpy(request.destination.data(), frame + kOffsetDestination, 6);
  std::memcpy(request.source.data(), frame + kOffsetSource, 6);
  request.transaction = frame[kOffsetTransaction];
  request.sub_device = ReadBe16(frame + kOffsetSubDevice);
  request.command_class = frame[kOffsetCommandClass];
  request.pid = ReadBe16(frame + kOffsetPid);
  request.pdl = frame[kOffsetPdl];
  request.pd = frame + kOffsetParameterData;

  const RdmUid& uid = config_.uid;
  const bool all_devices = request.destination == kBroadcastUid;
  const bool all_of_maker = request.destination[0] == uid[0] && request.destination[1] == uid[1] &&
                            std::all_of(request.destination.begin() + 2, request.destination.end(),
                                        [](uint8_t b) { return b == 0xFF; });
  request.broadcast = all_devices || all_of_maker;
  if (!request.broadcast && request.destination != uid) {
    return std::nullopt;
  }
  auto reply = Dispatch(request, at_micros);
  const bool is_branch =
      request.command_class == DISCOVERY_COMMAND && request.pid == DISC_UNIQUE_BRANCH;
  if (request.broadcast && !is_branch) {
    return std::nullopt;  // acted on, never answered
  }
  return reply;
}

std::optional<FixtureReply> SimulatedFixture::Dispatch(const Request& request, uint64_t at_micros) {
  if (request.command_class == DISCOVERY_COMMAND) {
    return Discovery(request);
  }
  if (stage_ == FixtureStage::kApplication) {
    return ApplicationCommand(request, at_micros);
  }
  return BootloaderCommand(request, at_micros);
}

std::optional<FixtureReply> SimulatedFixture::Discovery(const Request& request) {
  if (request.pid == DISC_UNIQUE_BRANCH) {
    if (request.pdl != 12 || muted_) {
      return std::nullopt;
    }
    RdmUid lower{};
    RdmUid upper{};
    std::memcpy(lower.data(), request.pd, 6);
    std::memcpy(upper.data(), request.pd + 6, 6);
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
  if ((request.pid != DISC_MUTE && request.pid != DISC_UN_MUTE) || request.pdl != 0) {
    return std::nullopt;
  }
  muted_ = request.pid == DISC_MUTE;
  uint8_t control = 0;
  if (stage_ == FixtureStage::kBootloader) {
    control = kControlBootLoader;
  } else if (stage_ == FixtureStage::kLowBootloader) {
    control = kControlBootLoader | kControlLowBootLoader;
  }
  const uint8_t field[2] = {0x00, control};
  return Respond(request, RESPONSE_TYPE_ACK, field, 2);
}

std::optional<FixtureReply> SimulatedFixture::ApplicationCommand(const Request& request,
                                                                 uint64_t at_micros) {
  if (request.command_class != GET_COMMAND && request.command_class != SET_COMMAND) {
    return std::nullopt;
  }
  if (request.sub_device != 0) {
    return Nack(request, NR_SUB_DEVICE_OUT_OF_RANGE);
  }
  if (request.command_class == GET_COMMAND) {
    if (request.pdl != 0) {
      return Nack(request, NR_FORMAT_ERROR);
    }
    switch (request.pid) {
      case DEVICE_MODEL_DESCRIPTION:
        return Text(request, config_.model_description);
      case SOFTWARE_VERSION_LABEL:
        return Text(request, ApplicationLabel());
      case DMX_START_ADDRESS: {
        const uint8_t address[2] = {static_cast<uint8_t>(dmx_start_address_ >> 8),
                                    static_cast<uint8_t>(dmx_start_address_ & 0xFF)};
        return Respond(request, RESPONSE_TYPE_ACK, address, 2);
      }
      case IDENTIFY_DEVICE: {
        const uint8_t state = identifying_ ? 1 : 0;
        return Respond(request, RESPONSE_TYPE_ACK, &state, 1);
      }
      default:
        return Nack(request, NR_UNKNOWN_PID);
    }
  }
  switch (request.pid) {
    case DMX_START_ADDRESS: {
      if (request.pdl != 2) {
        return Nack(request, NR_FORMAT_ERROR);
      }
      const uint16_t address = ReadBe16(request.pd);
      if (address < 1 || address > 512) {
        return Nack(request, NR_DATA_OUT_OF_RANGE);
      }
      dmx_start_address_ = address;
      return Respond(request, RESPONSE_TYPE_ACK, nullptr, 0);
    }
    case IDENTIFY_DEVICE:
      if (request.pdl != 1) {
        return Nack(request, NR_FORMAT_ERROR);
      }
      if (request.pd[0] > 1) {
        return Nack(request, NR_DATA_OUT_OF_RANGE);
      }
      identifying_ = request.pd[0] == 1;
      return Respond(request, RESPONSE_TYPE_ACK, nullptr, 0);
    case PID_BOOTLOADER:
      if (request.pdl == 2 && request.pd[0] == BOOT_SYNC && request.pd[1] == BOOT_ENTER) {
        ResetInto(config_.low_bootloader ? FixtureStage::kLowBootloader : FixtureStage::kBootloader,
                  at_micros);
        return std::nullopt;  // it resets at once, without a word
      }
      return Nack(request, NR_FORMAT_ERROR);
    default:
      return Nack(request, NR_UNKNOWN_PID);
  }
}

std::optional<FixtureReply> SimulatedFixture::BootloaderCommand(const Request& request,
                                                                uint64_t at_micros) {
  if (request.sub_device != 0) {
    return std::nullopt;
  }
  if (request.command_class == GET_COMMAND && request.pdl == 0) {
    if (request.pid == DEVICE_MODEL_DESCRIPTION) {
      return Text(request, config_.model_description);
    }
    if (request.pid == SOFTWARE_VERSION_LABEL) {
      return Text(request, config_.bootloader_label);
    }
    return std::nullopt;
  }
  if (request.command_class != SET_COMMAND) {
    return std::nullopt;
  }
  if (request.pid == IDENTIFY_DEVICE && request.pdl == 1 && request.pd[0] <= 1) {
    FixtureReply reply = Respond(request, RESPONSE_TYPE_ACK, nullptr, 0);
    if (request.pd[0] == 1) {
      if (stage_ == FixtureStage::kLowBootloader) {
        ResetInto(FixtureStage::kBootloader, at_micros + reply.delay_micros);
      } else if (ApplicationValid()) {
        ResetInto(FixtureStage::kApplication, at_micros + reply.delay_micros);
      }
    }
    return reply;
  }
  if (stage_ != FixtureStage::kBootloader || request.pid != PID_BOOTLOADER || request.pdl < 2 ||
      request.pd[0] != BOOT_SYNC) {
    return std::nullopt;
  }
  if (request.pd[1] == BOOT_ERASE) {
    return Erase(request, at_micros);
  }
  if (request.pd[1] == BOOT_PROGRAM) {
    return Program(request, at_micros);
  }
  return std::nullopt;
}

std::optional<FixtureReply> SimulatedFixture::Erase(const Request& request, uint64_t at_micros) {
  // 55 A1, 4-byte address, checksum over the first 3 words.
  if (request.pdl != 10 || !WordSumHolds(request.pd, 3)) {
    return std::nullopt;
  }
  const uint32_t address = ReadBe32(request.pd + 2);
  if (address >= kFlashSize) {
    return std::nullopt;
  }
  ++erase_commands_;
  const FlashRange range = EraseRangeAt(address);
  const uint64_t erase_micros = Scaled(uint64_t{config_.erase_ms} * 1000);
  if (config_.reset_in_erase > 0 && erase_commands_ == config_.reset_in_erase) {
    flash_.Erase({range.begin, range.begin + (range.end - range.begin) / 2});
    ResetInto(config_.low_bootloader ? FixtureStage::kLowBootloader : FixtureStage::kBootloader,
              at_micros + erase_micros / 2);
    return std::nullopt;
  }
  flash_.Erase(range);
  const uint8_t ack[2] = {BOOT_SYNC, BOOT_ERASE};
  FixtureReply reply = Respond(request, RESPONSE_TYPE_ACK, ack, 2);
  reply.delay_micros += erase_micros;
  busy_until_micros_ = at_micros + reply.delay_micros;
  return reply;
}

std::optional<FixtureReply> SimulatedFixture::Program(const Request& request, uint64_t at_micros) {
  // 55 A4, 4-byte address with bit 31 set, 2-byte length n, n bytes, checksum over n/2 + 4 words.
  if (request.pdl < 12) {
    return std::nullopt;
  }
  const uint32_t raw_address = ReadBe32(request.pd + 2);
  const uint32_t address = raw_address & 0x7FFFFFFFu;
  const uint16_t length = ReadBe16(request.pd + 6);
  if ((raw_address & 0x80000000u) == 0 || length % 2 != 0 || request.pdl != length + 12 ||
      address > kFlashSize - length || !WordSumHolds(request.pd, length / 2 + 4)) {
    return std::nullopt;
  }
  flash_.Program(address, request.pd + 8, length);
  FixtureReply reply =
      Respond(request, RESPONSE_TYPE_ACK, request.pd, request.pdl, GET_COMMAND_RESPONSE);
  reply.delay_micros += Scaled(uint64_t{config_.program_ms} * 1000);
  busy_until_micros_ = at_micros + reply.delay_micros;
  return reply;
}

FixtureReply SimulatedFixture::Respond(const Request& request, uint8_t response_type,
                                       const uint8_t* data, uint8_t pdl,
                                       uint8_t command_class) const {
  RdmFrameFields fields;
  fields.destination = request.source;
  fields.source = config_.uid;
  fields.transaction = request.transaction;
  fields.port_or_response_type = response_type;
  fields.sub_device = request.sub_device;
  fields.command_class =
      command_class != 0 ? command_class : static_cast<uint8_t>(request.command_class + 1);
  fields.pid = request.pid;
  fields.data = data;
  fields.pdl = pdl;
  FixtureReply reply;
  reply.bytes.resize(kRdmFrameBufferSize);
  reply.bytes.resize(BuildRdmFrame(fields, reply.bytes.data()));
  reply.delay_micros = Scaled(config_.turnaround_micros);
  return reply;
}

FixtureReply SimulatedFixture::Nack(const Request& request, uint16_t reason) const {
  const uint8_t data[2] = {static_cast<uint8_t>(reason >> 8), static_cast<uint8_t>(reason)};
  return Respond(request, RESPONSE_TYPE_NACK_REASON, data, 2);
}

FixtureReply SimulatedFixture::Text(const Request& request, const std::string& text) const {
  const size_t length = std::min(text.size(), kMaxVersionLabel);
  return Respond(request, RESPONSE_TYPE_ACK, reinterpret_cast<const uint8_t*>(text.data()),
                 static_cast<uint8_t>(length));
}

}  // namespace quillmont
