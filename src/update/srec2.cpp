#include "update/srec2.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <optional>
#include <string_view>

namespace quillmont {
namespace {

// A line is handled in pieces of at most this many characters, its line end included; the rest
// of a longer line comes as the next piece.
constexpr size_t kPieceLength = 1023;

// Reads a file (or the bytes of one already in memory) front to back as text, in pieces: a CR LF
// line end reads as LF, and a piece ends after its LF or when it holds kPieceLength characters.
// A file is read in blocks into a fixed buffer; nothing grows with the file.
class PieceReader {
 public:
  explicit PieceReader(std::FILE* file) : file_(file) {}
  explicit PieceReader(std::span<const uint8_t> bytes) : memory_(bytes) {}

  // Reads the first block. False when the file cannot be read at all.
  bool Prime() {
    Refill();
    return !failed_;
  }

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

  bool Failed() const { return failed_; }
  // The number (from 1) of the line that the last piece belongs to, and whether the piece is the
  // start of that line rather than the rest of a long one.
  int line() const { return line_; }
  bool starts_line() const { return starts_line_; }

 private:
  static constexpr int kEnd = -1;

  int RawGet() {
    if (next_ == filled_) {
      Refill();
      if (next_ == filled_) {
        return kEnd;
      }
    }
    return static_cast<unsigned char>(block_[next_++]);
  }

  int Get() {
    const int c = RawGet();
    if (c != '\r') {
      return c;
    }
    // CR LF becomes LF; a CR on its own stays as it is.
    if (next_ == filled_) {
      Refill();
    }
    if (next_ < filled_ && block_[next_] == '\n') {
      ++next_;
      return '\n';
    }
    return c;
  }

  void Refill() {
    if (at_end_) {
      return;
    }
    next_ = 0;
    if (file_ == nullptr) {
      filled_ = std::min(block_.size(), memory_.size());
      std::copy_n(memory_.begin(), filled_, reinterpret_cast<uint8_t*>(block_.data()));
      memory_ = memory_.subspan(filled_);
      at_end_ = filled_ < block_.size();
      return;
    }
    filled_ = std::fread(block_.data(), 1, block_.size(), file_);
    if (filled_ < block_.size()) {
      at_end_ = true;
      failed_ = std::ferror(file_) != 0;
    }
  }

  std::FILE* file_ = nullptr;
  std::span<const uint8_t> memory_;
  std::array<char, 64 * 1024> block_{};
  size_t next_ = 0;
  size_t filled_ = 0;
  bool at_end_ = false;
  bool failed_ = false;
  int line_ = 0;
  bool ended_line_ = true;
  bool starts_line_ = true;
  std::array<char, kPieceLength> piece_{};
};

// Closes the file on every way out.
struct FileCloser {
  std::FILE* file;
  ~FileCloser() { std::fclose(file); }
};

// "<what> ad address <address in upper-case hex>." as the loader's messages read.
std::string AtAddress(const char* what, uint32_t address) {
  std::array<char, 64> buffer{};
  std::snprintf(buffer.data(), buffer.size(), "%s ad address %X.", what,
                static_cast<unsigned>(address));
  return buffer.data();
}

void Tell(const MessageBoxFn& message_box, const std::string& text) {
  if (message_box) {
    message_box(text);
  }
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

  // A data record: the file goes on after any end record seen so far.
  void OnDataRecord() {
    ++data_records_;
    ended_ = false;
  }

  FileEnding Ending() const {
    if (!ended_) {
      return FileEnding::kNoEndRecord;
    }
    if (count_seen_ && (!count_good_ || count_ != data_records_)) {
      return FileEnding::kCountMismatch;
    }
    return FileEnding::kComplete;
  }

 private:
  // A count record of `width` count bytes; one that cannot be read cannot agree.
  void TakeCount(std::string_view record, size_t width) {
    count_seen_ = true;
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
      return "The file has no end record (S7, S8 or S9): it may have been cut short.";
    case FileEnding::kCountMismatch:
      return "The file's count record (S5 or S6) does not match the data records it holds: it is "
             "damaged or cut short.";
  }
  return "";
}

namespace {

// Loads every piece that `reader` gives into `image`; the loader's result (0 or 1).
int LoadPieces(PieceReader& reader, FirmwareImage& image, const MessageBoxFn& message_box,
               Srec2Stats* stats) {
  if (!reader.Prime()) {
    Tell(message_box, "Unable to read file.");  // a folder, say: the image stays as it was
    return 0;
  }

  image.Reset();
  Srec2Stats seen;
  EndingWatch ending;
  const auto finish = [&](int result) {
    image.file_ending = ending.Ending();
    if (stats != nullptr) {
      *stats = seen;
    }
    return result;
  };
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
        Tell(message_box, OnLine("Bad hex digit", reader.line()));
        return finish(0);
      case RecordResult::kChecksumError:
        Tell(message_box, AtAddress("Checksum error", load_address));
        return finish(0);
      case RecordResult::kBeyondFlash:
        Tell(message_box, AtAddress("Record beyond flash", load_address));
        return finish(0);
    }
  }
  if (reader.Failed()) {
    Tell(message_box, "Unable to read file.");
    return finish(0);
  }
  return finish(1);
}

}  // namespace

int LoadSrec2File(const std::string& path, FirmwareImage& image, const MessageBoxFn& message_box,
                  Srec2Stats* stats) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    Tell(message_box, "Unable to read file.");
    return 0;
  }
  FileCloser closer{file};
  PieceReader reader(file);
  return LoadPieces(reader, image, message_box, stats);
}

int LoadSrec2Bytes(std::span<const uint8_t> bytes, FirmwareImage& image,
                   const MessageBoxFn& message_box, Srec2Stats* stats) {
  PieceReader reader(bytes);
  return LoadPieces(reader, image, message_box, stats);
}

}  // namespace quillmont
