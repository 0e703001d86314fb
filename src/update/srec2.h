// Reading a .srec2 firmware file (Motorola S-records, of which only S2 records with 24-bit
// addresses are taken) into the FirmwareImage.
#pragma once

#include <cstdint>
#include <functional>
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
// one whose checksum is wrong or whose line ends before its byte count says it should (both
// "Checksum error ad address %X."), or one with data at or beyond the end of the flash ("Record
// beyond flash ad address %X.", nothing of it stored). A refused file leaves the image holding
// what was loaded up to the bad record, whose data bytes are stored before the checksum is
// judged.
int LoadSrec2File(const std::string& path, FirmwareImage& image, const MessageBoxFn& message_box,
                  Srec2Stats* stats = nullptr);

// Loads the bytes of a whole file, already read into memory, exactly as LoadSrec2File loads the
// file itself: same records, same messages, same result.
int LoadSrec2Bytes(std::span<const uint8_t> bytes, FirmwareImage& image,
                   const MessageBoxFn& message_box, Srec2Stats* stats = nullptr);

// The byte that the two characters at `at` spell, with no check of the characters.
uint8_t HexPairToByte(const char* at);

}  // namespace quillmont
