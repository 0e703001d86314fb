// SPDX-License-Identifier: Apache-2.0
// Arbitrary bytes as the settings file: after start-up baud_text is a terminated text of at most
// 9 characters, the baud list selects the entry equal to it or none, and the link is opened at
// that rate when it is 300 or more and at the adapter's own rate otherwise.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "app/control_ids.h"
#include "app/decimal_text.h"
#include "app/settings_text.h"
#include "fuzz_check.h"
#include "support/window_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillmont;
  testing::ScriptedWindowHarness h;
  h.WriteSettings(std::string(reinterpret_cast<const char*>(data), size));
  h.Init();

  const BaudText& baud_text = h.window.baud_text;
  const void* terminator = std::memchr(baud_text.data(), '\0', baud_text.size());
  FUZZ_CHECK(terminator != nullptr);
  const std::string text = BaudTextString(baud_text);
  FUZZ_CHECK(text.size() <= 9);

  const int selected = h.port.ComboGetCurSel(kBaudCombo);
  if (selected >= 0) {
    FUZZ_CHECK(h.port.ComboGetItemText(kBaudCombo, selected) == text);
  } else {
    FUZZ_CHECK(h.port.ComboFindStringExact(kBaudCombo, text) < 0);
  }

  h.Ticks(1);  // opens the adapter and applies the rate
  FUZZ_CHECK(h.driver.open);
  const int32_t baud = DecimalTextValue(text);
  if (baud >= 300) {
    FUZZ_CHECK(h.driver.Count(testing::ScriptedDriver::Call::SetBaudRate) == 1);
    FUZZ_CHECK(h.driver.baud_rate == static_cast<uint32_t>(baud));
  } else {
    FUZZ_CHECK(h.driver.Count(testing::ScriptedDriver::Call::SetBaudRate) == 0);
  }

  // Saving writes the record back as it stands: exactly 10 bytes, terminated.
  h.window.SaveSettings();
  const std::string saved = h.ReadSettings();
  FUZZ_CHECK(saved.size() == baud_text.size());
  FUZZ_CHECK(saved.find('\0') == text.size());
  return 0;
}
