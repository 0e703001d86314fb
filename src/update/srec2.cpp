// SPDX-License-Identifier: Apache-2.0
#include "update/srec2.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>

namespace quillmont {
namespace {

// A line is handled in pieces of at most this many characters, its line end included; the rest
// of a longer line comes as the next piece.
constexpr size_t kPieceLength = 1023;

// Reads the bytes of a file front to back as text, in pieces: a CR LF line end reads as LF, and a
// piece ends after its LF or when it holds kPieceLength characters.
class PieceReader {
 public:
  explicit PieceReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  // The next piece without its LF; false at the end of the file.
  bool Next(std::string_view& piece) {
    starts_line_ = ended_line_;
    size_t length = 0;
    bool line_end = false;
    while (length < kPieceLength) {
      const int c = Get();
      if (c == kEnd) {
        break;
      }
      piece_[length++] = static_cast<char>(c);
      if (c == '\n') {
        line_end = true;
        break;
      }
    }
    if (length == 0) {
      return false;
    }
    if (starts_line_) {
      ++line_;
    }
    ended_line_ = line_end;
    piece = std::string_view(piece_.data(), line_end ? length - 1 : length);
    return true;
  }

  // The number (from 1) of the line that the last piece belongs to, and whether the piece is the
  // start of that line rather than the rest of a long one.
  int line() const { return line_; }
  bool starts_line() const { return starts_line_; }

 private:
  static constexpr int kEnd = -1;

  int Get() {
    if (next_ == bytes_.size()) {
      return kEnd;
    }
    const int c = bytes_[next_++];
    // CR LF becomes LF; a CR on its own stays as it is.
    if (c == '\r' && next_ < bytes_.size() && bytes_[next_] == '\n') {
      ++next_;
      return '\n';
    }
    return c;
  }

  std::span<const uint8_t> bytes_;
  size_t next_ = 0;
  int line_ = 0;
  bool ended_line_ = true;
  bool starts_line_ = true;
  std::array<char, kPieceLength> piece_{};
};

// "<what> ad address <address in upper-case hex>." as the loader's messages read.
std::string AtAddress(const char* what, uint32_t address) {
  std::array<char, 64> buffer{};
  std::snprintf(buffer.data(), buffer.size(), "%s ad address %X.", what,
                static_cast<unsigned>(address));
  return buffer.data();
}

int32_t SaturatingAdd(int32_t total, int32_t more) {
  const int64_t sum = static_cast<int64_t>(total) + more;
  return sum > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                   : static_cast<int32_t>(sum);
}

std::string OnLine(const char* what, int line) {
  std::array<char, 64> buffer{};
  std::snprintf(buffer.data(), buffer.size(), "%s on line %d.", what, line);
  return buffer.data();
}

std::optional<uint8_t> HexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return static_cast<uint8_t>(c - '0');
  }
  if (c >= 'A' && c <= 'F') {
    return static_cast<uint8_t>(c - 'A' + 10);
  }
  if (c >= 'a' && c <= 'f') {
    return static_cast<uint8_t>(c - 'a' + 10);
  }
  return std::nullopt;
}

// Whether every character of `text` from `from` up to `to` (or its end) is a hex digit.
bool AllHexDigits(std::string_view text, size_t from, size_t to) {
  for (size_t i = from; i < to && i < text.size(); ++i) {
    if (!HexDigit(text[i])) {
      return false;
    }
  }
  return true;
}

// The byte at `at` of a text whose digits have been checked.
uint8_t Byte(std::string_view text, size_t at) {
  return HexPairToByte(text.data() + at).value_or(0);
}

enum class RecordResult { kAccepted, kChecksumError, kBeyondFlash, kBadDigit };

// Takes the S2 record that starts at the beginning of `record` (which ends where its line
// ends). Reads no character beyond it.
RecordResult TakeRecord(std::string_view record, FirmwareImage& image, uint32_t& load_address,
                        int32_t& data_count) {
  load_address = 0;
  data_count = 0;
  // Every character where a digit belongs must be one, as far as the line holds them: the byte
  // count first, then everything up to the checksum's end.
  if (!AllHexDigits(record, 2, 4)) {
    return RecordResult::kBadDigit;
  }
  const uint8_t count = record.size() >= 4 ? Byte(record, 2) : 0;
  const size_t data_bytes = count > 4 ? count - 4u : 0u;
  const size_t checksum_at = 10 + 2 * data_bytes;
  if (!AllHexDigits(record, 4, checksum_at + 2)) {
    return RecordResult::kBadDigit;
  }

  // The address bytes that the line holds; missing ones count as 0.
  std::array<uint8_t, 3> address{};
  for (size_t i = 0; i < address.size(); ++i) {
    const size_t at = 4 + 2 * i;
    if (at + 2 <= record.size()) {
      address[i] = Byte(record, at);
    }
  }
  load_address = (uint32_t{address[0]} << 16) | (uint32_t{address[1]} << 8) | address[2];
  if (record.size() < 4 || record.size() < checksum_at + 2) {
    return RecordResult::kChecksumError;  // the line ends before the record does
  }

  uint8_t sum = static_cast<uint8_t>(count + address[0] + address[1] + address[2]);
  for (size_t k = 0; k < data_bytes; ++k) {
    sum = static_cast<uint8_t>(sum + Byte(record, 10 + 2 * k));
  }
  const uint8_t checksum = Byte(record, checksum_at);
  const bool checksum_good = checksum == static_cast<uint8_t>(~sum);

  if (data_bytes > 0 && load_address + data_bytes > kImageSize) {
    return checksum_good ? RecordResult::kBeyondFlash : RecordResult::kChecksumError;
  }
  // The data go into the image before the checksum is judged: a refused file leaves its bad
  // record's bytes in the image and the map.
  for (size_t k = 0; k < data_bytes; ++k) {
    image.bytes[load_address + k] = Byte(record, 10 + 2 * k);
    image.loaded[load_address + k] = 1;
  }
  if (!checksum_good) {
    return RecordResult::kChecksumError;
  }
  data_count = static_cast<int32_t>(data_bytes);
  return RecordResult::kAccepted;
}

// How the file ends, from the records around the data: the end record (S7, S8 or S9) and the
// count record (S5 or S6). Only lines that begin with a record (after blanks) are looked at.
class EndingWatch {
 public:
  // A line without "S2", or the start of one.
  void OnOtherLine(std::string_view line) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos || line.size() - start < 2 || line[start] != 'S') {
      return;
    }
    const std::string_view record = line.substr(start);
    switch (record[1]) {
      case '1':
      case '3':
        OnDataRecord();
        break;
      case '5':
        TakeCount(record, 2);
        break;
      case '6':
        TakeCount(record, 3);
        break;
      case '7':
      case '8':
      case '9':
        ended_ = true;
        break;
      default:
        break;
    }
  }

  // A data record: the file goes on after any end or count record seen so far.
  void OnDataRecord() {
    ++data_records_;
    ended_ = false;
    count_last_ = false;
  }

  // Whole: an end record after the last data record, or (as srec_cat writes a file given no
  // start address) a count record as the last record. Either way a count record must agree.
  FileEnding Ending() const {
    const bool count_agrees = count_good_ && count_ == data_records_;
    if (!ended_ && !count_last_) {
      return FileEnding::kNoEndRecord;
    }
    if (count_seen_ && !count_agrees) {
      return FileEnding::kCountMismatch;
    }
    return FileEnding::kComplete;
  }

 private:
  // A count record of `width` count bytes; one that cannot be read cannot agree.
  void TakeCount(std::string_view record, size_t width) {
    count_seen_ = true;
    count_last_ = true;
    count_good_ = false;
    const size_t checksum_at = 4 + 2 * width;
    if (record.size() < checksum_at + 2 || !AllHexDigits(record, 2, checksum_at + 2) ||
        Byte(record, 2) != static_cast<uint8_t>(width + 1)) {
      return;
    }
    uint8_t sum = Byte(record, 2);
    uint32_t count = 0;
    for (size_t i = 0; i < width; ++i) {
      const uint8_t byte = Byte(record, 4 + 2 * i);
      sum = static_cast<uint8_t>(sum + byte);
      count = count << 8 | byte;
    }
    count_good_ = Byte(record, checksum_at) == static_cast<uint8_t>(~sum);
    count_ = count;
  }

  uint64_t data_records_ = 0;
  uint32_t count_ = 0;
  bool count_seen_ = false;
  bool count_good_ = false;
  bool count_last_ = false;  // the count record is the last record since the last data record
  bool ended_ = false;
};

}  // namespace

std::optional<uint8_t> HexPairToByte(const char* at) {
  const auto high = HexDigit(at[0]);
  if (!high) {
    return std::nullopt;
  }
  const auto low = HexDigit(at[1]);
  if (!low) {
    return std::nullopt;
  }
  return static_cast<uint8_t>(*high << 4 | *low);
}

std::string FileEndingText(FileEnding ending) {
  switch (ending) {
    case FileEnding::kComplete:
      return "";
    case FileEnding::kNoEndRecord:
      return "The file has no end record (S7, S8 or S9) or count record (S5 or S6) after its "
             "last data record: it may have been cut short.";
    case FileEnding::kCountMismatch:
      return "The file's count record (S5 or S6) does not match the data records it holds: it is "
             "damaged or cut short.";
  }
  return "";
}

namespace {

// Loads every piece that `reader` gives into `image`: what the load saw, or why it stopped.
Result<Srec2Stats> LoadPieces(PieceReader& reader, FirmwareImage& image) {
  image.Reset();
  Srec2Stats seen;
  EndingWatch ending;
  std::string_view piece;
  while (reader.Next(piece)) {
    const size_t start = piece.find("S2");
    if (start == std::string_view::npos) {
      if (reader.starts_line()) {
        ending.OnOtherLine(piece);
      }
      continue;
    }
    uint32_t load_address = 0;
    int32_t data_count = 0;
    switch (TakeRecord(piece.substr(start), image, load_address, data_count)) {
      case RecordResult::kAccepted:
        image.loaded_count = SaturatingAdd(image.loaded_count, data_count);
        seen.records = SaturatingAdd(seen.records, 1);
        ending.OnDataRecord();
        break;
      case RecordResult::kBadDigit:
        return Error{OnLine("Bad hex digit", reader.line())};
      case RecordResult::kChecksumError:
        return Error{AtAddress("Checksum error", load_address)};
      case RecordResult::kBeyondFlash:
        return Error{AtAddress("Record beyond flash", load_address)};
    }
  }
  image.file_ending = ending.Ending();
  return seen;
}

Error CannotRead(const std::string& path, const std::string& why) {
  return Error{"Cannot read " + path + ": " + why};
}

// Why a path names no file that can be read, or nothing when it names a regular file or a pipe.
std::optional<std::string> NotReadable(const std::string& path) {
  if (path == "-") {
    return "standard input is not read as a firmware file; give the file's path";
  }
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  switch (status.type()) {
    case std::filesystem::file_type::regular:
    case std::filesystem::file_type::fifo:  // a pipe, as /dev/stdin in `cat fw | ...`
      return std::nullopt;
    case std::filesystem::file_type::directory:
      return "is a directory";
    case std::filesystem::file_type::not_found:
      return "no such file";
    case std::filesystem::file_type::none:
    case std::filesystem::file_type::unknown:
      if (error == std::errc::permission_denied) {
        return "permission denied";
      }
      return error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory
                 ? "no such file"
                 : "cannot look at it (" + error.message() + ")";
    default:
      return "not a regular file";  // a device (/dev/zero, a terminal), a socket
  }
}

}  // namespace

Result<std::vector<uint8_t>> ReadFirmwareFile(const std::string& path) {
  if (const std::optional<std::string> why = NotReadable(path)) {
    return CannotRead(path, *why);
  }
  errno = 0;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
  if (!file) {
    const std::error_code error(errno, std::generic_category());
    return CannotRead(path, error == std::errc::permission_denied           ? "permission denied"
                            : error == std::errc::no_such_file_or_directory ? "no such file"
                                                                            : error.message());
  }
  std::vector<uint8_t> bytes;
  std::array<uint8_t, 64 * 1024> block{};
  size_t got = 0;
  while ((got = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
    if (bytes.size() + got > kMaxFirmwareFileBytes) {
      return CannotRead(path, "larger than 64 MiB, too large for a firmware file");
    }
    bytes.insert(bytes.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got));
  }
  if (std::ferror(file.get()) != 0) {
    return CannotRead(path, "a read failed");
  }
  return bytes;
}

Result<Srec2Stats> LoadSrec2File(const std::string& path, FirmwareImage& image) {
  const Result<std::vector<uint8_t>> bytes = ReadFirmwareFile(path);
  if (!bytes) {
    return bytes.error();
  }
  return LoadSrec2Bytes(*bytes, image);
}

Result<Srec2Stats> LoadSrec2Bytes(std::span<const uint8_t> bytes, FirmwareImage& image) {
  PieceReader reader(bytes);
  return LoadPieces(reader, image);
}

}  // namespace quillmont
