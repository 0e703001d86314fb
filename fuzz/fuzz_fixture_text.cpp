// SPDX-License-Identifier: Apache-2.0
// Any bytes as a fixture's reply, its parameter data shown as text: on a terminal (taking UTF-8
// or not), in a JSON document and in the window. Nothing crashes; every rendering is valid UTF-8;
// no control character reaches a terminal or the window; the JSON document is written and read
// back to the same text, which keeps every byte of the fixture's text. The same bytes as any
// other text from outside that quillmont-cli writes (a path, an argument, a history read back):
// through the guard in front of its terminal, in a table's cell, and in its JSON document.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/console_text.h"
#include "cli/json_document.h"
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

// What the guard let through: valid UTF-8 (printable ASCII alone when the terminal does not take
// UTF-8) whose only controls are line feeds, each CR one of a CR LF.
void CheckGuarded(const std::string& written, bool utf8) {
  std::vector<uint32_t> points;
  FUZZ_CHECK(DecodeUtf8(written, points));
  for (size_t i = 0; i < points.size(); ++i) {
    const bool line_end =
        points[i] == '\n' || (points[i] == '\r' && i + 1 < points.size() && points[i + 1] == '\n');
    FUZZ_CHECK(line_end || !IsControl(points[i]));
    FUZZ_CHECK(utf8 || points[i] < 0x80);
  }
}

void CheckConsoleText(const std::string& raw) {
  using namespace quillmont::cli;
  const size_t split = raw.empty() ? 0 : static_cast<uint8_t>(raw[0]) % raw.size();
  for (const bool utf8 : {true, false}) {
    std::ostringstream terminal;
    {
      GuardedStream guarded(terminal, utf8);
      guarded << raw.substr(0, split) << std::flush << raw.substr(split);
    }
    CheckGuarded(terminal.str(), utf8);
    const std::string shown = ShownText(raw, utf8);
    CheckGuarded(shown, utf8);
    FUZZ_CHECK(shown.find('\n') == std::string::npos);
    CheckGuarded(Cell(shown, 20), utf8);
  }
  const std::string text = Utf8Text(raw);
  std::vector<uint32_t> points;
  FUZZ_CHECK(DecodeUtf8(text, points));
  FUZZ_CHECK(DecodeUtf8(raw, points) ? text == raw : text != raw);

  // The document: one, of printable ASCII, that reads back to the text as UTF-8.
  std::ostringstream out;
  std::ostringstream err;
  const int code =
      PrintDocument(CliOutput{out, err}, nlohmann::json{{"detail", raw}, {"exit_code", 0}});
  FUZZ_CHECK(code == 0);
  for (const char c : out.str()) {
    FUZZ_CHECK(c == '\n' || (c >= 0x20 && c < 0x7F));
  }
  FUZZ_CHECK(nlohmann::json::parse(out.str())["detail"] == text);
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
  CheckConsoleText(raw);
  return 0;
}
