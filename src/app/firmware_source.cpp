// SPDX-License-Identifier: Apache-2.0
#include "app/firmware_source.h"

namespace quillmont {

std::unique_ptr<PreparedFirmware> PrepareFirmware(const FirmwareImage& loaded) {
  auto prepared = std::make_unique<PreparedFirmware>();
  prepared->image = loaded;
  AnalyseImage(prepared->image, prepared->analysis, prepared->plan);
  return prepared;
}

}  // namespace quillmont
