// SPDX-License-Identifier: Apache-2.0
#include "support/window_harness.h"

#include <fstream>
#include <iterator>
#include <random>

#include "rdm/message.h"

namespace quillmont::testing {

TempDir::TempDir() {
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  for (;;) {
    path_ = base / ("quillmont-test-" + std::to_string(random()) + std::to_string(random()));
    if (std::filesystem::create_directory(path_)) {
      break;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

WindowHarness::WindowHarness(D2xxDriver& driver, VirtualClock& clock)
    : window(port, driver, clock, diag), pacer(window, clock) {
  window.settings_path = (dir.path() / kSettingsFileName).string();
}

void WindowHarness::WriteSettings(const std::string& bytes) const {
  std::ofstream file(SettingsPath(), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string WindowHarness::ReadSettings() const {
  std::ifstream file(SettingsPath(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool WindowHarness::SettingsExist() const {
  return std::filesystem::exists(SettingsPath());
}

std::vector<uint8_t> ResponseFrame(const RdmUid& source, uint8_t command_class, uint16_t pid,
                                   const std::vector<uint8_t>& data, uint8_t response_type) {
  RdmFrameFields fields;
  fields.destination = kControllerUid;
  fields.source = source;
  fields.port_or_response_type = response_type;
  fields.command_class = command_class;
  fields.pid = pid;
  fields.data = data.data();
  fields.pdl = static_cast<uint8_t>(data.size());
  std::vector<uint8_t> frame(kRdmFrameBufferSize);
  frame.resize(BuildRdmFrame(fields, frame.data()));
  return frame;
}

std::vector<uint8_t> TextBytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace quillmont::testing
