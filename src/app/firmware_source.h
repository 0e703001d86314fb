// SPDX-License-Identifier: Apache-2.0
// Where the Update button's chosen file becomes an image ready to flash. The window reads the
// file itself unless whoever runs it (the station) gives it a source that reads, hashes, loads and
// analyses the file once and keeps it for the record of the update.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/result.h"
#include "update/firmware_image.h"
#include "update/image_analysis.h"

namespace quillmont {

// A firmware image made ready to flash: as loaded, then analysed once (a signature found is
// replaced by its placeholder in `image`), with the blocks to erase.
struct PreparedFirmware {
  FirmwareImage image;
  ImageAnalysis analysis;
  ErasePlan plan;
};

// Analyses a copy of `loaded`; the loaded image itself stays as it is. On the heap: the image is
// 512 KiB with its map.
std::unique_ptr<PreparedFirmware> PrepareFirmware(const FirmwareImage& loaded);

class FirmwareSource {
 public:
  virtual ~FirmwareSource() = default;
  // Loads and analyses `bytes`, the file at `path` as the window read it. The firmware stays the
  // source's until its next Prepare. An error holds the one text the operator is told (the
  // window logs it and shows it in a box): the loader's reason, or that the file holds no data
  // records.
  virtual Result<const PreparedFirmware*> Prepare(const std::string& path,
                                                  std::span<const uint8_t> bytes) = 0;
};

}  // namespace quillmont
