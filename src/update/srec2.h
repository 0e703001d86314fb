// SPDX-License-Identifier: Apache-2.0
// Reading a .srec2 firmware file (Motorola S-records, of which only S2 records with 24-bit
// addresses are taken) into the FirmwareImage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"
#include "update/firmware_image.h"

namespace quillmont {

// What a load saw, for people (quillmont-cli inspect).
struct Srec2Stats {
  int32_t records = 0;  // S2 records accepted
};

// The most bytes a firmware file may hold. A 256 KiB image takes about 600 KiB of S-records.
inline constexpr size_t kMaxFirmwareFileBytes = 64 * 1024 * 1024;

// Every byte of the file at `path`, read once from its start to its end: a regular file, or a
// pipe (/dev/stdin under `cat fw.srec2 | ...`). Otherwise an error that names the file and says
// why: "Cannot read fw.srec2: no such file" (is a directory, permission denied, not a regular
// file for a device such as /dev/zero, larger than 64 MiB); "-" is refused too (standard input is
// given as /dev/stdin).
Result<std::vector<uint8_t>> ReadFirmwareFile(const std::string& path);

// Loads the bytes of a whole file into `image` and tells what the load saw; or an error that says
// which record is bad, which leaves the image holding what was loaded up to that record (its data
// bytes are stored before its checksum is judged).
//
// The text is read in pieces of at most 1023 characters (a longer line gives several); a piece
// holds a record when "S2" occurs in it, and the record starts there. A bad record is one with a
// character other than a hex digit where a digit belongs ("Bad hex digit on line %d.", nothing of
// it stored), one whose checksum is wrong or whose line ends before its byte count says it should
// (both "Checksum error ad address %X."), or one with data at or beyond the end of the flash
// ("Record beyond flash ad address %X.", nothing of it stored).
//
// How the file ends is noted in image.file_ending, without refusing it: it is whole when an end
// record (S7, S8 or S9), or a count record (S5 or S6) as srec_cat writes without a start
// address, follows its last data record, and any count record agrees with the data records read
// (S2, and the S1 and S3 passed over). Otherwise it may be cut short.
Result<Srec2Stats> LoadSrec2Bytes(std::span<const uint8_t> bytes, FirmwareImage& image);

// ReadFirmwareFile, then LoadSrec2Bytes. A file that cannot be read leaves the image untouched.
Result<Srec2Stats> LoadSrec2File(const std::string& path, FirmwareImage& image);

// The byte that the two hexadecimal digits at `at` spell (0-9, A-F, a-f); nothing when either
// character is not such a digit. Reads no further than the first character that is not.
std::optional<uint8_t> HexPairToByte(const char* at);

// The sentence that tells the user what is wrong with how the file ends, or "" for a complete
// file.
std::string FileEndingText(FileEnding ending);

}  // namespace quillmont
