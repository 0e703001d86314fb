// SPDX-License-Identifier: Apache-2.0
#include "support/full_flash_file.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "update/firmware_image.h"

namespace quillmont::bench {
namespace {

constexpr uint32_t kRecordBytes = 32;
constexpr uint32_t kSignatureAddress = 0x4100;
constexpr uint32_t kLabelAddress = kSignatureAddress + 0x10;
constexpr char kLabel[] = "Quillmont full-flash 1.0";
constexpr uint32_t kLowStartMarker = 0x2003;  // 02 23 at 0x2002 would mark a low-start image

}  // namespace

bool WriteFullFlashFile(const std::filesystem::path& path, uint32_t first_address) {
  auto bytes = std::make_unique<std::array<uint8_t, kImageSize>>();
  uint32_t state = 12345;
  for (uint8_t& byte : *bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  const uint8_t magic[4] = {'G', 'K', 'J', 'A'};
  std::memcpy(bytes->data() + kSignatureAddress, magic, sizeof magic);
  std::memcpy(bytes->data() + kLabelAddress, kLabel, sizeof kLabel);
  (*bytes)[kLowStartMarker] = 0x00;

  std::ofstream out(path, std::ios::binary);
  char text[8];
  for (uint32_t address = first_address - first_address % kRecordBytes; address < kImageSize;
       address += kRecordBytes) {
    std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(address));
    out << "S2"
        << "24" << text;
    uint8_t sum =
        static_cast<uint8_t>(kRecordBytes + 4 + (address >> 16) + (address >> 8) + address);
    for (uint32_t k = 0; k < kRecordBytes; ++k) {
      const uint8_t byte = (*bytes)[address + k];
      std::snprintf(text, sizeof text, "%02X", byte);
      out << text;
      sum = static_cast<uint8_t>(sum + byte);
    }
    std::snprintf(text, sizeof text, "%02X", static_cast<uint8_t>(~sum));
    out << text << "\r\n";
  }
  out << "S804004000BB\r\n";
  return static_cast<bool>(out.flush());
}

}  // namespace quillmont::bench
