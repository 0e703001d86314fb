// SPDX-License-Identifier: Apache-2.0
#include "update/image_analysis.h"

#include <array>
#include <cstdio>

namespace quillmont {
namespace {

constexpr uint32_t kLowStart = 0x2000;
constexpr uint32_t kCodeScanStart = 0x4000;
constexpr uint32_t kLowBlocksEnd = 0x4000;  // low blocks are the 1 KiB blocks below this
constexpr uint32_t kLowBlockMask = 0xFFC00;
constexpr uint32_t kPageMask = 0xFFFF00;
constexpr uint32_t kPageSize = 0x100;
constexpr std::array<uint32_t, 4> kFixedEraseAddresses = {0x8000, 0xA000, 0xC000, 0xE000};

bool IsChanged(const FirmwareImage& image, uint32_t address) {
  return image.bytes[address] != FillPatternAt(address);
}

void WritePlaceholder(FirmwareImage& image, uint32_t address) {
  for (uint32_t i = 0; i < kSignaturePlaceholder.size(); ++i) {
    image.bytes[address + i] = kSignaturePlaceholder[i];
  }
}

bool HoldsMagic(const FirmwareImage& image, uint32_t address) {
  for (uint32_t i = 0; i < kSignatureMagic.size(); ++i) {
    if (image.bytes[address + i] != kSignatureMagic[i]) {
      return false;
    }
  }
  return true;
}

// Every 1 KiB block from 0x400 to 0x3C00 with a changed byte, once, in ascending order. The
// block at 0 is never listed: it equals the empty entry the list starts with.
void PlanLowBlocks(const FirmwareImage& image, ErasePlan& plan) {
  auto& list = plan.erase_list;
  for (uint32_t a = 0; a < kLowBlocksEnd; ++a) {
    if (!IsChanged(image, a)) {
      continue;
    }
    const uint32_t block = a & kLowBlockMask;
    if (block == list[plan.erase_count] || plan.erase_count >= ErasePlan::kCapacity - 1) {
      continue;
    }
    if (list[plan.erase_count] != 0) {
      ++plan.erase_count;
    }
    list[plan.erase_count] = block;
  }
  if (list[plan.erase_count] != 0) {
    ++plan.erase_count;
  }
}

void Append(ErasePlan& plan, uint32_t address) {
  if (plan.erase_count < ErasePlan::kCapacity) {
    plan.erase_list[plan.erase_count++] = address;
  }
}

}  // namespace

void ErasePlan::DropFirst() {
  if (erase_count <= 0) {
    return;
  }
  for (int i = 1; i < kCapacity; ++i) {
    erase_list[i - 1] = erase_list[i];
  }
  erase_list[kCapacity - 1] = 0;
  --erase_count;
}

void AnalyseImage(FirmwareImage& image, ImageAnalysis& analysis, ErasePlan& plan) {
  analysis.code_begin = 0;
  analysis.code_end = 0;
  analysis.signature = 0;
  plan.erase_list.fill(0);
  plan.erase_count = 0;

  // A low-start image carries its signature in its first four bytes at 0x2000.
  uint32_t scan_start = kCodeScanStart;
  if (image.bytes[kLowStart + 2] == 0x02 && image.bytes[kLowStart + 3] == 0x23) {
    analysis.signature = kLowStart;
    analysis.code_begin = kLowStart;
    for (uint32_t i = 0; i < analysis.signature_value.size(); ++i) {
      analysis.signature_value[i] = image.bytes[kLowStart + i];
    }
    WritePlaceholder(image, kLowStart);
    plan.erase_list[0] = kLowStart;
    plan.erase_count = 1;
    scan_start = kLowStart;
  }

  for (uint32_t a = scan_start; a < kImageSize; ++a) {
    if (!IsChanged(image, a)) {
      continue;
    }
    if (analysis.code_begin == 0) {
      analysis.code_begin = a;
      // The signature is looked for in one place only: the page after the first changed byte.
      const uint32_t s = (a & kPageMask) + kPageSize;
      if (s < kImageSize && HoldsMagic(image, s)) {
        analysis.signature = s;
        analysis.signature_value = kSignatureMagic;
        WritePlaceholder(image, s);
      }
    }
    if (a > analysis.code_end) {
      analysis.code_end = a;
    }
  }

  if (plan.erase_count != 0) {
    return;  // a low-start image: 0x2000 is the whole plan
  }
  PlanLowBlocks(image, plan);
  if (analysis.code_begin == 0) {
    return;
  }
  Append(plan, analysis.code_begin);
  for (const uint32_t fixed : kFixedEraseAddresses) {
    if (plan.erase_list[plan.erase_count - 1] < fixed && analysis.code_end >= fixed) {
      Append(plan, fixed);
    }
  }
}

std::string FormatAnalysisLog(const ImageAnalysis& analysis, const ErasePlan& plan) {
  std::array<char, 128> buffer{};
  std::snprintf(buffer.data(), buffer.size(),
                "code_begin = $%X; code_end = $%X;  signature = $0%X\r\nerase_list = ",
                static_cast<unsigned>(analysis.code_begin),
                static_cast<unsigned>(analysis.code_end),
                static_cast<unsigned>(analysis.signature));
  std::string text = buffer.data();
  for (int16_t i = 0; i < plan.erase_count && i < ErasePlan::kCapacity; ++i) {
    std::snprintf(buffer.data(), buffer.size(), "$%X ", static_cast<unsigned>(plan.erase_list[i]));
    text += buffer.data();
  }
  return text;
}

}  // namespace quillmont
