// SPDX-License-Identifier: Apache-2.0
// Helpers for tests that read .srec2 text: records with their checksum, and files in a folder of
// their own under the build tree.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quillmont::testing {

// "S2" record text for `data` at `address`, with its right checksum unless `checksum_delta` spoils
// it.
inline std::string S2Record(uint32_t address, const std::vector<uint8_t>& data,
                            int checksum_delta = 0) {
  const auto count = static_cast<uint8_t>(data.size() + 4);
  uint8_t sum = static_cast<uint8_t>(count + (address >> 16) + (address >> 8) + address);
  char pair[8];
  std::snprintf(pair, sizeof pair, "%02X", count);
  std::string text = std::string("S2") + pair;
  std::snprintf(pair, sizeof pair, "%06X", static_cast<unsigned>(address & 0xFFFFFF));
  text += pair;
  for (const uint8_t byte : data) {
    std::snprintf(pair, sizeof pair, "%02X", byte);
    text += pair;
    sum = static_cast<uint8_t>(sum + byte);
  }
  std::snprintf(pair, sizeof pair, "%02X", static_cast<uint8_t>(~sum + checksum_delta));
  return text + pair;
}

// A fresh folder for the running test, under the build tree.
class TestFolder {
 public:
  TestFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::path(QUILLMONT_BINARY_DIR) / "test-files" /
            (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }

  const std::filesystem::path& path() const { return path_; }

  // Writes `content` byte for byte and gives the file's path.
  std::string Write(const std::string& name, const std::string& content) const {
    const auto file = path_ / name;
    std::ofstream out(file, std::ios::binary);
    out << content;
    return file.string();
  }

 private:
  std::filesystem::path path_;
};

}  // namespace quillmont::testing
