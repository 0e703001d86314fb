// SPDX-License-Identifier: Apache-2.0
#include "update/bootloader_request.h"

#include <algorithm>

#include "rdm/byte_order.h"
#include "rdm/message.h"
#include "update/word_sum_checksum.h"

namespace quillmont {
namespace {

// Whether the 4 bytes after the first `words` little-endian words of `pd` hold their sum, as
// WordSumChecksum writes it.
bool WordSumHolds(std::span<const uint8_t> pd, size_t words) {
  if (pd.size() < 2 * words + 4) {
    return false;
  }
  uint32_t sum = 0;
  for (size_t i = 0; i < words; ++i) {
    sum += static_cast<uint32_t>(pd[2 * i]) + 256u * pd[2 * i + 1];
  }
  return GetBe32(&pd[2 * words]) == sum;
}

}  // namespace

size_t WriteEraseRequest(uint32_t address, std::span<uint8_t> out) {
  if (out.size() < kEraseRequestSize) {
    return 0;
  }
  out[0] = BOOT_SYNC;
  out[1] = BOOT_ERASE;
  PutBe32(&out[2], address);
  WordSumChecksum(out.data(), 3);
  return kEraseRequestSize;
}

size_t WriteProgramRequest(uint32_t address, std::span<const uint8_t> data,
                           std::span<uint8_t> out) {
  if (data.size() > 0xFFFF || out.size() < data.size() + kProgramRequestOverhead) {
    return 0;
  }
  out[0] = BOOT_SYNC;
  out[1] = BOOT_PROGRAM;
  PutBe32(&out[2], address | kProgramAddressFlag);
  PutBe16(&out[6], static_cast<uint16_t>(data.size()));
  std::copy(data.begin(), data.end(), out.begin() + kProgramHeaderSize);
  // An odd length leaves its last byte out of the sum, as the bootloader counts it.
  WordSumChecksum(out.data(), static_cast<int16_t>(data.size() / 2 + 4));
  return data.size() + kProgramRequestOverhead;
}

std::optional<uint32_t> ReadEraseRequest(std::span<const uint8_t> pd) {
  if (pd.size() != kEraseRequestSize || pd[0] != BOOT_SYNC || pd[1] != BOOT_ERASE ||
      !WordSumHolds(pd, 3)) {
    return std::nullopt;
  }
  return GetBe32(&pd[2]);
}

std::optional<ProgramRequest> ReadProgramHeader(std::span<const uint8_t> pd) {
  if (pd.size() < kProgramHeaderSize || pd[0] != BOOT_SYNC || pd[1] != BOOT_PROGRAM) {
    return std::nullopt;
  }
  const uint32_t flagged = GetBe32(&pd[2]);
  const uint16_t length = GetBe16(&pd[6]);
  if ((flagged & kProgramAddressFlag) == 0 || pd.size() - kProgramHeaderSize < length) {
    return std::nullopt;
  }
  return ProgramRequest{flagged & ~kProgramAddressFlag, pd.subspan(kProgramHeaderSize, length)};
}

std::optional<ProgramRequest> ReadProgramRequest(std::span<const uint8_t> pd) {
  auto request = ReadProgramHeader(pd);
  if (!request || request->data.size() % 2 != 0 ||
      pd.size() != request->data.size() + kProgramRequestOverhead ||
      !WordSumHolds(pd, request->data.size() / 2 + 4)) {
    return std::nullopt;
  }
  return request;
}

bool ProgramEchoMatches(std::span<const uint8_t> echo, uint32_t address,
                        std::span<const uint8_t> chunk) {
  const auto named = ReadProgramHeader(echo);
  return named && named->address == address && named->data.size() == chunk.size() &&
         std::equal(chunk.begin(), chunk.end(), named->data.begin());
}

}  // namespace quillmont
