// Any bytes as a fixture's reply, its parameter data shown as text: on a terminal (taking UTF-8
// or not), in a JSON document and in the window. Nothing crashes; every rendering is valid UTF-8;
// no control character reaches a terminal or the window; the JSON document is written and read
// back to the same text, which keeps every byte of the fixture's text.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "rdm/fixture_text.h"
#include "rdm/frame_view.h"

namespace quillmont {
namespace {

// The code points of `text` when it is valid UTF-8 (shortest forms, no surrogates, at most
// U+10FFFF); nothing otherwise.
bool DecodeUtf8(const std::string& text, std::vector<uint32_t>& points) {
  points.clear();
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<uint8_t>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if ((lead >= 0x80 && lead < 0xC2) || lead > 0xF4 || i + length > text.size()) {
      return false;
    }
    uint32_t point = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) {
        return false;
      }
      point = point << 6 | (next & 0x3F);
    }
    const uint32_t shortest = length == 1 ? 0 : length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (point < shortest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
      return false;
    }
    points.push_back(point);
    i += length;
  }
  return true;
}

bool IsControl(uint32_t point) {
  return point < 0x20 || (point >= 0x7F && point <= 0x9F);
}

void CheckRenderings(const std::string& text) {
  FUZZ_CHECK(text.size() <= kMaxFixtureText);
  FUZZ_CHECK(text.find('\0') == std::string::npos);
  std::vector<uint32_t> points;

  for (const bool utf8 : {true, false}) {
    const std::string shown = TerminalText(text, utf8);
    FUZZ_CHECK(shown.size() <= 4 * text.size());
    FUZZ_CHECK(DecodeUtf8(shown, points));
    for (const uint32_t point : points) {
      FUZZ_CHECK(!IsControl(point));
      FUZZ_CHECK(utf8 || point < 0x80);
    }
  }
  FUZZ_CHECK(WindowText(text) == TerminalText(text, true));

  // Every byte kept, as the Latin-1 character of that number.
  const std::string json_text = JsonText(text);
  FUZZ_CHECK(DecodeUtf8(json_text, points));
  FUZZ_CHECK(points.size() == text.size());
  for (size_t i = 0; i < points.size(); ++i) {
    FUZZ_CHECK(points[i] == static_cast<uint8_t>(text[i]));
  }
  const std::string document = nlohmann::json{{"software_version", json_text}}.dump();
  FUZZ_CHECK(DecodeUtf8(document, points));
  for (const uint32_t point : points) {
    FUZZ_CHECK(point >= 0x20);  // the writer escapes control characters
  }
  FUZZ_CHECK(nlohmann::json::parse(document)["software_version"] == json_text);
}

}  // namespace
}  // namespace quillmont

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillmont;
  const std::vector<uint8_t> bytes(data, data + size);  // exactly sized: a read past it is caught
  // The bytes as a text, and as a whole reply whose parameter data is one.
  CheckRenderings(FixtureTextOf(bytes));
  if (const auto frame = RdmFrameView::Of(std::span<const uint8_t>(bytes))) {
    CheckRenderings(FixtureTextOf(frame->data()));
  }
  // A text handed over with its NUL and beyond: the renderings stop at the NUL.
  const std::string raw(bytes.begin(), bytes.end());
  FUZZ_CHECK(TerminalText(raw, false) == TerminalText(FixtureTextOf(bytes), false));
  return 0;
}
