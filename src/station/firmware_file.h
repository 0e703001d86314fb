// SPDX-License-Identifier: Apache-2.0
// The firmware file of a run, read once before any adapter is touched: its bytes hashed, loaded
// into the image and analysed once. Every update of the run (every adapter's, every fixture's)
// flashes this one image, and every record of them names this one digest.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/firmware_source.h"
#include "base/result.h"
#include "update/chunk_choice.h"
#include "update/firmware_image.h"
#include "update/srec2.h"

namespace quillmont {

struct FirmwareFile {
  std::string path;    // as the operator named it
  std::string sha256;  // of the file's bytes, as sha256sum prints it
  Srec2Stats stats;
  std::shared_ptr<const FirmwareImage> loaded;       // as the loader produced it
  std::shared_ptr<const PreparedFirmware> prepared;  // analysed: what an update flashes
  std::vector<PlannedChunk> chunks;                  // the program requests, in their order

  bool complete() const { return loaded->file_ending == FileEnding::kComplete; }
  bool has_signature() const { return prepared->analysis.HasSignature(); }
  int64_t erases() const { return prepared->plan.erase_count; }
  // The most ticks an update of this file may take (see UpdateTickBound).
  int64_t TickBound() const;
};

// Reads, hashes, loads and analyses the file. An error holds the one text to tell: that it cannot
// be read, the loader's reason, or that it holds no data records.
Result<FirmwareFile> LoadFirmwareFile(const std::string& path);
// The same with the file's bytes already read.
Result<FirmwareFile> LoadFirmwareBytes(const std::string& path, std::span<const uint8_t> bytes);

// A file that may be cut short (no end record, or a count record that disagrees) is flashed
// only when the operator allows it; otherwise the reason it is refused.
Status CheckFileEnding(const FirmwareFile& file, bool allow_unterminated);

// Every chunk the update programs lies in flash that its erase plan clears, and no changed byte
// lies outside it; otherwise why the file cannot be flashed, naming the address.
Status CheckErased(const FirmwareFile& file);

// A FirmwareSource for the window: every file the Update button chooses is read, hashed,
// loaded and analysed by LoadFirmwareFile, and the last one kept for the record of the update.
class FirmwareFileSource : public FirmwareSource {
 public:
  Result<const PreparedFirmware*> Prepare(const std::string& path,
                                          std::span<const uint8_t> bytes) override;
  // The file last prepared; null before one was.
  const FirmwareFile* last() const { return last_ ? &*last_ : nullptr; }

 private:
  std::unique_ptr<FirmwareFile> last_;
};

}  // namespace quillmont
