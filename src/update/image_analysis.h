// SPDX-License-Identifier: Apache-2.0
// Image analysis: the code range, the application signature, and the flash addresses to erase.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "update/firmware_image.h"

namespace quillmont {

// The addresses to erase, first to be erased first. A plan holds at most 15 low blocks,
// code_begin and the four fixed addresses: 20 entries.
struct ErasePlan {
  static constexpr int kCapacity = 20;
  std::array<uint32_t, kCapacity> erase_list{};
  int16_t erase_count = 0;

  // Removes entry 0; every further entry moves up one place.
  void DropFirst();
};

struct ImageAnalysis {
  uint32_t code_begin = 0;
  uint32_t code_end = 0;
  uint32_t signature = 0;                    // a multiple of 256; 0 when there is none
  std::array<uint8_t, 4> signature_value{};  // meaningful while signature is not 0

  // Whether the image carries an application signature: without one, the bootloader will not
  // start what was programmed.
  bool HasSignature() const { return signature != 0; }
};

// What to tell the user up front about an image without a signature.
inline constexpr const char* kNoSignatureWarning =
    "The file holds no application signature: the fixture will stay in its bootloader after the "
    "update.";

// The application signature magic "GKJA" and the placeholder that replaces it in the image.
inline constexpr std::array<uint8_t, 4> kSignatureMagic = {0x47, 0x4B, 0x4A, 0x41};
inline constexpr std::array<uint8_t, 4> kSignaturePlaceholder = {0xFF, 0xFE, 0xFD, 0xFC};

// Analyses `image`, writes the placeholder over a signature it finds, and fills `analysis`
// (signature_value only when a signature is found) and `plan`.
void AnalyseImage(FirmwareImage& image, ImageAnalysis& analysis, ErasePlan& plan);

// The analysis log line: "code_begin = $%0X; code_end = $%0X;  signature = $0%0X\r\nerase_list = "
// followed by "$%0X " for each planned address.
std::string FormatAnalysisLog(const ImageAnalysis& analysis, const ErasePlan& plan);

}  // namespace quillmont
