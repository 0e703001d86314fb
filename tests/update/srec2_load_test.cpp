// SPDX-License-Identifier: Apache-2.0
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "srec2_test_files.h"
#include "update/srec2.h"

namespace quillmont {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::S2Record;
using testing::TestFolder;

class Srec2LoadTest : public ::testing::Test {
 protected:
  // 1 when the file loads; 0 with the reason in messages_ when it does not.
  int Load(const std::string& path) {
    const Result<Srec2Stats> loaded = LoadSrec2File(path, *image_);
    if (!loaded) {
      messages_.push_back(loaded.error().message);
      return 0;
    }
    stats_ = *loaded;
    return 1;
  }
  int LoadText(const std::string& text, const std::string& name = "fw.srec2") {
    return Load(folder_.Write(name, text));
  }

  // True when every address outside [begin, end) holds the fill pattern and is not loaded.
  bool UntouchedOutside(uint32_t begin, uint32_t end) const {
    for (uint32_t a = 0; a < kImageSize; ++a) {
      if ((a < begin || a >= end) && (image_->bytes[a] != FillPatternAt(a) || image_->loaded[a])) {
        return false;
      }
    }
    return true;
  }

  TestFolder folder_;
  std::unique_ptr<FirmwareImage> image_ = std::make_unique<FirmwareImage>();
  std::vector<std::string> messages_;
  Srec2Stats stats_;
};

TEST(HexPairToByteTest, ReadsHexDigitsOfEitherCaseAndNothingElse) {
  EXPECT_EQ(HexPairToByte("09"), 0x09);
  EXPECT_EQ(HexPairToByte("1A"), 0x1A);
  EXPECT_EQ(HexPairToByte("1a"), 0x1A);
  EXPECT_EQ(HexPairToByte("fF"), 0xFF);
  for (const char* bad : {"G0", "0G", "  ", "0g", "@0", "0/", "0:", "`0"}) {
    EXPECT_FALSE(HexPairToByte(bad)) << bad;
  }
}

TEST_F(Srec2LoadTest, EmptyFileLoadsNothing) {
  EXPECT_EQ(LoadText(""), 1);
  EXPECT_THAT(messages_, IsEmpty());
  EXPECT_EQ(image_->loaded_count, 0);
  EXPECT_EQ(stats_.records, 0);
  EXPECT_TRUE(UntouchedOutside(0, 0));
}

TEST_F(Srec2LoadTest, StoresRecordsAndIgnoresOtherLines) {
  const std::string text = "S00600004844521B\n" + S2Record(0x4000, {0x12, 0x34, 0x56}) +
                           "\n\nS1050000AABB95\nsome notes\n" + S2Record(0x23456, {0xAB}) +
                           "\nS804004000BB\n";
  EXPECT_EQ(LoadText(text), 1);
  EXPECT_THAT(messages_, IsEmpty());
  EXPECT_EQ(image_->loaded_count, 4);
  EXPECT_EQ(stats_.records, 2);
  EXPECT_EQ(image_->bytes[0x4000], 0x12);
  EXPECT_EQ(image_->bytes[0x4001], 0x34);
  EXPECT_EQ(image_->bytes[0x4002], 0x56);
  EXPECT_EQ(image_->bytes[0x23456], 0xAB);
  EXPECT_EQ(image_->loaded[0x4000] + image_->loaded[0x4001] + image_->loaded[0x4002], 3);
  EXPECT_EQ(image_->loaded[0x23456], 1);
  EXPECT_EQ(image_->loaded[0x4003], 0);
  EXPECT_EQ(image_->bytes[0x4003], FillPatternAt(0x4003));
}

TEST_F(Srec2LoadTest, LastRecordCountsOnceWithOrWithoutLineEnd) {
  const std::string record = S2Record(0x100, {1, 2, 3, 4});
  for (const std::string& text : {record, record + "\n", record + "\r\n", record + "\n\n"}) {
    EXPECT_EQ(LoadText(text), 1);
    EXPECT_EQ(image_->loaded_count, 4);
    EXPECT_EQ(stats_.records, 1);
  }
}

TEST_F(Srec2LoadTest, CrLfReadsLikeLf) {
  const std::string text = S2Record(0x10, {0xA0}) + "\r\n" + S2Record(0x11, {0xA1}) + "\r\n\r\n" +
                           S2Record(0x12, {0xA2});
  EXPECT_EQ(LoadText(text), 1);
  EXPECT_EQ(image_->loaded_count, 3);
  EXPECT_EQ(image_->bytes[0x12], 0xA2);
}

TEST_F(Srec2LoadTest, RecordStartsAtS2AnywhereInTheLine) {
  EXPECT_EQ(LoadText("12:00 xyz " + S2Record(0x4000, {0x77}) + " trailing words\n"), 1);
  EXPECT_EQ(image_->bytes[0x4000], 0x77);
  EXPECT_EQ(image_->loaded_count, 1);
}

TEST_F(Srec2LoadTest, CountFourRecordCarriesNoData) {
  // 04 + 01 + 20 + 00 = 0x25, so the checksum is 0xDA.
  EXPECT_EQ(LoadText("S2040120"
                     "00DA\n"),
            1);
  EXPECT_EQ(image_->loaded_count, 0);
  EXPECT_EQ(stats_.records, 1);
  EXPECT_TRUE(UntouchedOutside(0, 0));

  EXPECT_EQ(LoadText("S2040120"
                     "00DB\n"),
            0);
  EXPECT_THAT(messages_, ElementsAre("Checksum error ad address 12000."));
}

TEST_F(Srec2LoadTest, DigitsAreHexInEitherCaseAndAnythingElseRefusesTheRecord) {
  // Lower case reads as every S-record tool reads it.
  EXPECT_EQ(LoadText("S0030000FC\nS20C0040000a1b2c3d4e5f6a7b93\nS804004000BB\n"), 1);
  EXPECT_THAT(messages_, IsEmpty());
  EXPECT_THAT(std::vector<uint8_t>(&image_->bytes[0x4000], &image_->bytes[0x4008]),
              ElementsAre(0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F, 0x6A, 0x7B));

  // A record whose checksum fits the old misreading of "1a" as 0x3A is refused by it.
  std::string record = S2Record(0x200, {0x3A});
  record.replace(10, 2, "1a");
  EXPECT_EQ(LoadText(record + "\n"), 0);
  EXPECT_THAT(messages_, ElementsAre("Checksum error ad address 200."));

  // Any other character where a digit belongs, in the count, the address, the data or the
  // checksum, names its line; nothing of the record is stored.
  const std::string good = S2Record(0x4000, {0x11, 0x22});
  for (const size_t at : {2u, 5u, 10u, 13u, 15u}) {
    for (const char bad : {'G', 'g', ' ', ':'}) {
      std::string spoiled = good;
      spoiled[at] = bad;
      messages_.clear();
      EXPECT_EQ(LoadText("S0030000FC\n\n" + spoiled + "\n"), 0) << at << bad;
      EXPECT_THAT(messages_, ElementsAre("Bad hex digit on line 3.")) << at << bad;
      EXPECT_EQ(image_->loaded[0x4000], 0);
    }
  }
  // Characters after the checksum are not digits of the record.
  EXPECT_EQ(LoadText(good + "zz\n"), 1);
}

TEST_F(Srec2LoadTest, FileEndingTellsACompleteFileFromOneCutShortOrMiscounted) {
  const std::string data = S2Record(0x4000, {1, 2}) + "\n" + S2Record(0x4002, {3, 4}) + "\n";
  struct Case {
    std::string text;
    FileEnding ending;
  };
  const Case cases[] = {
      {data + "S804004000BB\n", FileEnding::kComplete},
      {data + "S5030002FA\n  S9030000FC\n", FileEnding::kComplete},
      {"S1050000AABB95\n" + data + "S5030003F9\nS804004000BB\n", FileEnding::kComplete},
      {data, FileEnding::kNoEndRecord},
      {S2Record(0x4000, {1, 2}) + "\nS804004000BB\n" + S2Record(0x4002, {3, 4}) + "\n",
       FileEnding::kNoEndRecord},
      {data + "S5030003F9\nS804004000BB\n", FileEnding::kCountMismatch},
      {data + "S5030002FB\nS804004000BB\n", FileEnding::kCountMismatch},  // bad checksum
      {data + "S5030002\nS804004000BB\n", FileEnding::kCountMismatch},    // cut
      // srec_cat given no start address ends with a count record instead of an end record.
      {data + "S5030002FA\n", FileEnding::kComplete},
      {data + "S604000002F9\n", FileEnding::kComplete},
      {data + "S5030003F9\n", FileEnding::kCountMismatch},
      {data + "S5030002FA\n" + S2Record(0x4004, {5, 6}) + "\n", FileEnding::kNoEndRecord},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadText(c.text), 1) << c.text;  // never refused for its ending
    EXPECT_EQ(image_->file_ending, c.ending) << c.text;
    EXPECT_EQ(FileEndingText(c.ending).empty(), c.ending == FileEnding::kComplete);
  }

  // The first half of an example file's lines, as a copy cut short leaves it.
  std::ifstream in(std::string(QUILLMONT_SOURCE_DIR) + "/examples/fixture-app-1.1.srec2");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line + "\n");
  }
  ASSERT_GT(lines.size(), 10u);
  std::string half;
  for (size_t i = 0; i < lines.size() / 2; ++i) {
    half += lines[i];
  }
  EXPECT_EQ(LoadText(half), 1);
  EXPECT_GT(image_->loaded_count, 0);
  EXPECT_EQ(image_->file_ending, FileEnding::kNoEndRecord);
  EXPECT_EQ(FileEndingText(image_->file_ending),
            "The file has no end record (S7, S8 or S9) or count record (S5 or S6) after its last "
            "data record: it may have been cut short.");
}

TEST_F(Srec2LoadTest, ChecksumErrorKeepsTheBadRecordsBytes) {
  const std::string text = S2Record(0x3000, {0x11, 0x22}) + "\n" +
                           S2Record(0x4000, {0xC1, 0xC2, 0xC3}, 1) + "\n" +
                           S2Record(0x5000, {0x55}) + "\n";
  EXPECT_EQ(LoadText(text), 0);
  EXPECT_THAT(messages_, ElementsAre("Checksum error ad address 4000."));
  EXPECT_EQ(image_->loaded_count, 2);  // the records accepted before the bad one
  EXPECT_EQ(image_->bytes[0x4002], 0xC3);
  EXPECT_EQ(image_->loaded[0x4002], 1);
  EXPECT_EQ(image_->loaded[0x5000], 0);  // nothing after the bad record is read
}

TEST_F(Srec2LoadTest, LaterRecordsOverwriteEarlierOnesAndDuplicatesCountTwice) {
  const std::string text = S2Record(0x100, {1, 2, 3, 4}) + "\n" + S2Record(0x102, {9, 9}) + "\n";
  EXPECT_EQ(LoadText(text), 1);
  EXPECT_EQ(image_->loaded_count, 6);
  EXPECT_EQ(image_->bytes[0x101], 2);
  EXPECT_EQ(image_->bytes[0x102], 9);
  EXPECT_EQ(image_->bytes[0x103], 9);
}

TEST_F(Srec2LoadTest, ByteEqualToFillPatternIsStoredAndMarked) {
  EXPECT_EQ(LoadText(S2Record(0x40FF, {0x00}) + "\n"), 1);
  EXPECT_EQ(image_->bytes[0x40FF], 0x00);
  EXPECT_EQ(image_->loaded[0x40FF], 1);
  EXPECT_EQ(image_->loaded_count, 1);
}

TEST_F(Srec2LoadTest, ReloadStartsAfreshButAFileThatCannotBeOpenedChangesNothing) {
  ASSERT_EQ(LoadText(S2Record(0x8000, {0xAA, 0xBB}) + "\n", "first.srec2"), 1);
  ASSERT_EQ(LoadText(S2Record(0x9000, {0xCC}) + "\n", "second.srec2"), 1);
  EXPECT_EQ(image_->loaded_count, 1);
  EXPECT_TRUE(UntouchedOutside(0x9000, 0x9001));

  const std::string missing = (folder_.path() / "missing.srec2").string();
  EXPECT_EQ(Load(missing), 0);
  EXPECT_THAT(messages_, ElementsAre("Cannot read " + missing + ": no such file"));
  EXPECT_EQ(image_->loaded_count, 1);
  EXPECT_EQ(image_->bytes[0x9000], 0xCC);
  EXPECT_EQ(image_->loaded[0x9000], 1);
}

// A path that names no readable file says which and why, and the image stays as it was.
TEST_F(Srec2LoadTest, PathsThatAreNoFileSayWhichAndWhyAndChangeNothing) {
  ASSERT_EQ(LoadText(S2Record(0x9000, {0xCC}) + "\n"), 1);
  const std::string folder = folder_.path().string();
  std::vector<std::string> expected = {"Cannot read " + folder + ": is a directory",
                                       "Cannot read -: standard input is not read as a firmware "
                                       "file; give the file's path"};
  EXPECT_EQ(Load(folder), 0);
  EXPECT_EQ(Load("-"), 0);
#if !defined(_WIN32)
  EXPECT_EQ(Load("/dev/zero"), 0);  // never ends: refused before a byte is read
  expected.push_back("Cannot read /dev/zero: not a regular file");
  const std::string locked = folder_.Write("locked.srec2", S2Record(0x100, {1}) + "\n");
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  if (std::FILE* file = std::fopen(locked.c_str(), "rb"); file != nullptr) {
    std::fclose(file);  // root reads it all the same
  } else {
    EXPECT_EQ(Load(locked), 0);
    expected.push_back("Cannot read " + locked + ": permission denied");
  }
#endif
  EXPECT_EQ(messages_, expected);
  EXPECT_EQ(image_->bytes[0x9000], 0xCC);
  EXPECT_EQ(image_->loaded_count, 1);
}

TEST_F(Srec2LoadTest, ShortLineFailsAtItsAddressWithoutReadingTheNextLine) {
  // The count promises four data bytes; the line holds one, and the next line's characters
  // would make the record whole if they were read on.
  const std::string whole = S2Record(0x4000, {0x01, 0x02, 0x03, 0x04});
  const std::string text = whole.substr(0, 12) + "\n" + whole.substr(12) + "\n";
  EXPECT_EQ(LoadText(text), 0);
  EXPECT_THAT(messages_, ElementsAre("Checksum error ad address 4000."));
  EXPECT_EQ(image_->loaded_count, 0);
  EXPECT_TRUE(UntouchedOutside(0, 0));  // a short record stores nothing
}

TEST_F(Srec2LoadTest, ShortLinesOfEveryLengthFail) {
  const std::string whole = S2Record(0x123456 & 0x3FFFF, {0xDE, 0xAD});
  for (size_t length = 2; length < whole.size(); ++length) {
    messages_.clear();
    EXPECT_EQ(LoadText("x" + whole.substr(0, length) + "\n"), 0) << length;
    ASSERT_EQ(messages_.size(), 1u) << length;
    EXPECT_THAT(messages_[0], ::testing::StartsWith("Checksum error ad address ")) << length;
  }
  // With the address whole, the message names it.
  EXPECT_EQ(LoadText(whole.substr(0, 10)), 0);
  EXPECT_EQ(messages_.back(), "Checksum error ad address 23456.");
}

TEST_F(Srec2LoadTest, LongLineIsTakenInPiecesOf1023Characters) {
  // 1023 characters of text, then a record: the record is a piece of its own.
  const std::string padding(1023, '.');
  EXPECT_EQ(LoadText(padding + S2Record(0x600, {0x66}) + "\n"), 1);
  EXPECT_EQ(image_->bytes[0x600], 0x66);

  // A line end after exactly 1022 characters belongs to the piece; the next line stands alone.
  EXPECT_EQ(LoadText(std::string(1022, '.') + "\n" + S2Record(0x601, {0x67}) + "\n"), 1);
  EXPECT_EQ(image_->bytes[0x601], 0x67);

  // "S2" split across the cut is not a record.
  EXPECT_EQ(LoadText(std::string(1022, '.') + S2Record(0x602, {0x68}) + "\n"), 1);
  EXPECT_EQ(image_->loaded_count, 0);

  // A record cut by the end of its piece is short, and its second half is not read as one.
  const std::string record = S2Record(0x603, {0x69, 0x6A, 0x6B});
  EXPECT_EQ(LoadText(std::string(1023 - 12, '.') + record + "\n"), 0);
  EXPECT_THAT(messages_, ElementsAre("Checksum error ad address 603."));
}

TEST_F(Srec2LoadTest, RecordsBeyondTheFlashAreRefusedAndNothingIsWrittenOutside) {
  // Ending on the last flash byte is fine.
  EXPECT_EQ(LoadText(S2Record(0x3FFFE, {0xE1, 0xE2}) + "\n"), 1);
  EXPECT_EQ(image_->bytes[0x3FFFF], 0xE2);

  const std::vector<uint8_t> data(16, 0x5A);
  for (const uint32_t address : {0x3FFF8u, 0x40000u, 0xFFFFF0u}) {
    messages_.clear();
    EXPECT_EQ(LoadText(S2Record(0x100, {0x01}) + "\n" + S2Record(address, data) + "\n"), 0);
    char expected[64];
    std::snprintf(expected, sizeof expected, "Record beyond flash ad address %X.", address);
    EXPECT_THAT(messages_, ElementsAre(expected));
    EXPECT_TRUE(UntouchedOutside(0x100, 0x101));
    EXPECT_EQ(image_->loaded_count, 1);
  }

  // A garbled record out there is a checksum error first.
  messages_.clear();
  EXPECT_EQ(LoadText(S2Record(0x50000, data, 3) + "\n"), 0);
  EXPECT_THAT(messages_, ElementsAre("Checksum error ad address 50000."));

  // A record without data carries no byte beyond the flash.
  EXPECT_EQ(LoadText(S2Record(0xFFFFFF, {}) + "\n"), 1);
}

}  // namespace
}  // namespace quillmont
