// SPDX-License-Identifier: Apache-2.0
// The settings file: one 10-byte record, the baud_text buffer byte for byte.
#include <algorithm>
#include <fstream>

#include "app/settings_text.h"
#include "app/updater_window.h"

namespace quillmont {

void SetBaudText(BaudText& baud_text, std::string_view text) {
  baud_text.fill('\0');
  const size_t n = std::min(text.size(), baud_text.size() - 1);
  std::copy_n(text.begin(), n, baud_text.begin());
}

std::string BaudTextString(const BaudText& baud_text) {
  const auto end = std::find(baud_text.begin(), baud_text.end(), '\0');
  return std::string(baud_text.begin(), end);
}

int UpdaterWindow::LoadSettings() {
  std::ifstream file(settings_path, std::ios::binary);
  if (!file.is_open()) {
    return 0;
  }
  BaudText record{};
  file.read(record.data(), static_cast<std::streamsize>(record.size()));
  const auto got = static_cast<size_t>(std::max<std::streamsize>(file.gcount(), 0));
  // A short record replaces only its own leading bytes; the rest keeps what it held.
  std::copy_n(record.begin(), got, baud_text.begin());
  // A record without a zero byte is taken as its first 9 characters.
  baud_text.back() = '\0';
  return 1;
}

void UpdaterWindow::SaveSettings() {
  std::ofstream file(settings_path, std::ios::binary | std::ios::trunc);
  if (!file.is_open()) {
    return;  // nothing is saved and nothing is reported
  }
  file.write(baud_text.data(), static_cast<std::streamsize>(baud_text.size()));
}

}  // namespace quillmont
