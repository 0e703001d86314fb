// SPDX-License-Identifier: Apache-2.0
#include "station/firmware_file.h"

#include "app/updater_window.h"
#include "station/file_digest.h"
#include "update/erase_coverage.h"
#include "update/update_job.h"

namespace quillmont {

int64_t FirmwareFile::TickBound() const {
  return UpdateTickBound(static_cast<int64_t>(chunks.size()), erases());
}

Result<FirmwareFile> LoadFirmwareFile(const std::string& path) {
  const Result<std::vector<uint8_t>> bytes = ReadFirmwareFile(path);
  if (!bytes) {
    return bytes.error();
  }
  return LoadFirmwareBytes(path, *bytes);
}

Result<FirmwareFile> LoadFirmwareBytes(const std::string& path, std::span<const uint8_t> bytes) {
  // The image is 512 KiB with its map: on the heap.
  auto image = std::make_shared<FirmwareImage>();
  FirmwareFile file;
  Result<Srec2Stats> stats = LoadSrec2Bytes(bytes, *image);
  if (!stats) {
    return stats.error();
  }
  file.stats = *stats;
  if (image->loaded_count == 0) {
    return Error{kNoDataRecordsMessage};
  }
  Result<std::string> digest = Sha256Hex(bytes);
  if (!digest) {
    return digest.error();
  }
  file.path = path;
  file.sha256 = std::move(*digest);
  std::shared_ptr<const PreparedFirmware> prepared = PrepareFirmware(*image);
  file.chunks = PlanChunks(prepared->image, prepared->analysis);
  file.loaded = std::move(image);
  file.prepared = std::move(prepared);
  return file;
}

Status CheckFileEnding(const FirmwareFile& file, bool allow_unterminated) {
  if (file.complete() || allow_unterminated) {
    return {};
  }
  return Error{FileEndingText(file.loaded->file_ending)};
}

Status CheckErased(const FirmwareFile& file) {
  return CheckChunksErased(file.prepared->image, file.prepared->analysis, file.prepared->plan);
}

Result<const PreparedFirmware*> FirmwareFileSource::Prepare(const std::string& path,
                                                            std::span<const uint8_t> bytes) {
  Result<FirmwareFile> loaded = LoadFirmwareBytes(path, bytes);
  if (!loaded) {
    return loaded.error();
  }
  last_ = std::make_unique<FirmwareFile>(std::move(*loaded));
  return last_->prepared.get();
}

}  // namespace quillmont
