#include "update/srec2.h"

#include <array>
#include <cstdio>
#include <limits>
#include <string_view>

namespace quillmont {
namespace {

// A line is handled in pieces of at most this many characters, its line end included; the rest
// of a longer line comes as the next piece.
constexpr size_t kPieceLength = 1023;

// Reads a file front to back as text, in pieces: a CR LF line end reads as LF, and a piece ends
// after its LF or when it holds kPieceLength characters. The file is read in blocks into a fixed
// buffer; nothing grows with the file.
class PieceReader {
 public:
  explicit PieceReader(std::FILE* file) : file_(file) {}

  // Reads the first block. False when the file cannot be read at all.
  bool Prime() {
    Refill();
    return !failed_;
  }

  // The next piece without its LF; false at the end of the file.
  bool Next(std::string_view& piece) {
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
    piece = std::string_view(piece_.data(), line_end ? length - 1 : length);
    return true;
  }

  bool Failed() const { return failed_; }

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
    filled_ = std::fread(block_.data(), 1, block_.size(), file_);
    if (filled_ < block_.size()) {
      at_end_ = true;
      failed_ = std::ferror(file_) != 0;
    }
  }

  std::FILE* file_;
  std::array<char, 64 * 1024> block_{};
  size_t next_ = 0;
  size_t filled_ = 0;
  bool at_end_ = false;
  bool failed_ = false;
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

enum class RecordResult { kAccepted, kChecksumError, kBeyondFlash };

// Takes the S2 record that starts at the beginning of `record` (which ends where its line
// ends). Reads no character beyond it.
RecordResult TakeRecord(std::string_view record, FirmwareImage& image, uint32_t& load_address,
                        int32_t& data_count) {
  // The address bytes that the line holds; missing ones count as 0.
  std::array<uint8_t, 3> address{};
  for (size_t i = 0; i < address.size(); ++i) {
    const size_t at = 4 + 2 * i;
    if (at + 2 <= record.size()) {
      address[i] = HexPairToByte(record.data() + at);
    }
  }
  load_address = (uint32_t{address[0]} << 16) | (uint32_t{address[1]} << 8) | address[2];
  data_count = 0;
  if (record.size() < 4) {
    return RecordResult::kChecksumError;
  }

  const uint8_t count = HexPairToByte(record.data() + 2);
  const size_t data_bytes = count > 4 ? count - 4u : 0u;
  const size_t checksum_at = 10 + 2 * data_bytes;
  if (record.size() < checksum_at + 2) {
    return RecordResult::kChecksumError;  // the line ends before the record does
  }

  uint8_t sum = static_cast<uint8_t>(count + address[0] + address[1] + address[2]);
  for (size_t k = 0; k < data_bytes; ++k) {
    sum = static_cast<uint8_t>(sum + HexPairToByte(record.data() + 10 + 2 * k));
  }
  const uint8_t checksum = HexPairToByte(record.data() + checksum_at);
  const bool checksum_good = checksum == static_cast<uint8_t>(~sum);

  if (data_bytes > 0 && load_address + data_bytes > kImageSize) {
    return checksum_good ? RecordResult::kBeyondFlash : RecordResult::kChecksumError;
  }
  // The data go into the image before the checksum is judged: a refused file leaves its bad
  // record's bytes in the image and the map.
  for (size_t k = 0; k < data_bytes; ++k) {
    image.bytes[load_address + k] = HexPairToByte(record.data() + 10 + 2 * k);
    image.loaded[load_address + k] = 1;
  }
  if (!checksum_good) {
    return RecordResult::kChecksumError;
  }
  data_count = static_cast<int32_t>(data_bytes);
  return RecordResult::kAccepted;
}

}  // namespace

uint8_t HexPairToByte(const char* at) {
  const auto value = [](char c) {
    const auto digit = static_cast<uint8_t>(static_cast<uint8_t>(c) - 0x30);
    return digit <= 9 ? digit : static_cast<uint8_t>(static_cast<uint8_t>(c) - 0x37);
  };
  return static_cast<uint8_t>(16 * value(at[0]) + value(at[1]));
}

int LoadSrec2File(const std::string& path, FirmwareImage& image, const MessageBoxFn& message_box,
                  Srec2Stats* stats) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    Tell(message_box, "Unable to read file.");
    return 0;
  }
  FileCloser closer{file};
  PieceReader reader(file);
  if (!reader.Prime()) {
    Tell(message_box, "Unable to read file.");  // a folder, say: the image stays as it was
    return 0;
  }

  image.Reset();
  Srec2Stats seen;
  const auto finish = [&](int result) {
    if (stats != nullptr) {
      *stats = seen;
    }
    return result;
  };
  std::string_view piece;
  while (reader.Next(piece)) {
    const size_t start = piece.find("S2");
    if (start == std::string_view::npos) {
      continue;
    }
    uint32_t load_address = 0;
    int32_t data_count = 0;
    switch (TakeRecord(piece.substr(start), image, load_address, data_count)) {
      case RecordResult::kAccepted:
        image.loaded_count = SaturatingAdd(image.loaded_count, data_count);
        seen.records = SaturatingAdd(seen.records, 1);
        break;
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

int LoadSrec2Bytes(std::span<const uint8_t> bytes, FirmwareImage& image,
                   const MessageBoxFn& message_box, Srec2Stats* stats) {
  // The bytes go through a temporary file, so that they are read exactly as a file on disk is.
  std::FILE* file = std::tmpfile();
  if (file == nullptr) {
    Tell(message_box, "Unable to read file.");
    return 0;
  }
  FileCloser closer{file};
  if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
      std::fseek(file, 0, SEEK_SET) != 0) {
    Tell(message_box, "Unable to read file.");
    return 0;
  }
  PieceReader reader(file);
  if (!reader.Prime()) {
    Tell(message_box, "Unable to read file.");
    return 0;
  }

  image.Reset();
  Srec2Stats seen;
  const auto finish = [&](int result) {
    if (stats != nullptr) {
      *stats = seen;
    }
    return result;
  };
  std::string_view piece;
  while (reader.Next(piece)) {
    const size_t start = piece.find("S2");
    if (start == std::string_view::npos) {
      continue;
    }
    uint32_t load_address = 0;
    int32_t data_count = 0;
    switch (TakeRecord(piece.substr(start), image, load_address, data_count)) {
      case RecordResult::kAccepted:
        image.loaded_count = SaturatingAdd(image.loaded_count, data_count);
        seen.records = SaturatingAdd(seen.records, 1);
        break;
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

}  // namespace quillmont
