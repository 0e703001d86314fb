// Reading a .srec2 firmware file (Motorola S-records, of which only S2 records with 24-bit
// addresses are taken) into the FirmwareImage.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "update/firmware_image.h"

namespace quillmont {

// Shows a modal message box with one OK button (the window's, in the programs).
using MessageBoxFn = std::function<void(const std::string& text)>;

// What a load saw, for people (quillmont-cli inspect).
struct Srec2Stats {
  int32_t records = 0;  // S2 records accepted
};

// Loads the file into `image`. 1 when the whole file was read and every record was good; 0 when
// the file cannot be opened (image untouched) or a record is bad (the operator was told through
// `message_box`).
//
// The file is read as text in pieces of at most 1023 characters (a longer line gives several);
// a piece holds a record when "S2" occurs in it, and the record starts there. A bad record is
// one with a character other than a hex digit where a digit belongs ("Bad hex digit on line
// %d.", nothing of it stored), one whose checksum is wrong or whose line ends before its byte
// count says it should (both "Checksum error ad address %X."), or one with data at or beyond the
// end of the flash ("Record beyond flash ad address %X.", nothing of it stored). A refused file
// leaves the image holding what was loaded up to the bad record, whose data bytes are stored
// before the checksum is judged.
//
// How the file ends is noted in image.file_ending, without refusing it: a file whose last record
// is not an end record (S7, S8 or S9), or whose count record (S5 or S6) disagrees with the data
// records read (S2, and the S1 and S3 passed over), may be cut short.
int LoadSrec2File(const std::string& path, FirmwareImage& image, const MessageBoxFn& message_box,
                  Srec2Stats* stats = nullptr);

// The byte that the two hexadecimal digits at `at` spell (0-9, A-F, a-f); nothing when either
// character is not such a digit. Reads no further than the first character that is not.
std::optional<uint8_t> HexPairToByte(const char* at);

// The sentence that tells the user what is wrong with how the file ends, or "" for a complete
// file.
std::string FileEndingText(FileEnding ending);

// Loads the bytes of a whole file, already read into memory, exactly as LoadSrec2File loads the
// file itself: same records, same messages, same result.
int LoadSrec2Bytes(std::span<const uint8_t> bytes, FirmwareImage& image,
                   const MessageBoxFn& message_box, Srec2Stats* stats = nullptr);

}  // namespace quillmont
