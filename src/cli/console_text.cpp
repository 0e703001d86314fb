// SPDX-License-Identifier: Apache-2.0
#include "cli/console_text.h"

#include <cstdint>

namespace quillmont::cli {
namespace {

// The length of the UTF-8 sequence `lead` begins, or 0 when it begins none.
size_t LengthOfLead(uint8_t lead) {
  if (lead < 0x80) {
    return 1;
  }
  if (lead < 0xC2 || lead > 0xF4) {
    return 0;  // a continuation byte, an overlong lead, or beyond U+10FFFF
  }
  return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
}

// The UTF-8 of the C1 controls, U+0080 to U+009F: some terminals obey them as ESC sequences.
bool IsC1(std::string_view sequence) {
  return sequence.size() == 2 && static_cast<uint8_t>(sequence[0]) == 0xC2 &&
         static_cast<uint8_t>(sequence[1]) < 0xA0;
}

void AppendEscaped(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

// How many bytes the character at the start of `text` takes: a valid UTF-8 sequence, or one
// byte that is none.
size_t CharacterLength(std::string_view text) {
  const size_t length = Utf8SequenceLength(text);
  return length == 0 ? 1 : length;
}

}  // namespace

size_t Utf8SequenceLength(std::string_view text) {
  if (text.empty()) {
    return 0;
  }
  const auto lead = static_cast<uint8_t>(text[0]);
  const size_t length = LengthOfLead(lead);
  if (length <= 1 || text.size() < length) {
    return length == 1 ? 1 : 0;
  }
  uint32_t point = lead & (0xFFu >> (length + 1));
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<uint8_t>(text[k]);
    if ((next & 0xC0) != 0x80) {
      return 0;
    }
    point = point << 6 | (next & 0x3Fu);
  }
  const uint32_t shortest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
  const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
  return point < shortest || point > 0x10FFFF || surrogate ? 0 : length;
}

std::string Utf8Text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const size_t length = Utf8SequenceLength(text);
    if (length > 0) {
      out.append(text.substr(0, length));
      text.remove_prefix(length);
      continue;
    }
    const auto byte = static_cast<uint8_t>(text[0]);  // above 0x7F: its Latin-1 character
    out += static_cast<char>(0xC0 | (byte >> 6));
    out += static_cast<char>(0x80 | (byte & 0x3F));
    text.remove_prefix(1);
  }
  return out;
}

std::string ShownText(std::string_view text, bool utf8) {
  std::string out;
  while (!text.empty()) {
    const size_t length = CharacterLength(text);
    const std::string_view character = text.substr(0, length);
    const auto lead = static_cast<uint8_t>(text[0]);
    const bool printable_ascii = lead >= 0x20 && lead < 0x7F;
    if (printable_ascii || (utf8 && length > 1 && !IsC1(character))) {
      out.append(character);
    } else {
      for (const char c : character) {
        AppendEscaped(out, static_cast<unsigned char>(c));
      }
    }
    text.remove_prefix(length);
  }
  return out;
}

std::string FirstColumns(std::string_view text, size_t columns) {
  size_t at = 0;
  for (size_t used = 0; at < text.size() && used < columns; ++used) {
    at += CharacterLength(text.substr(at));
  }
  return std::string(text.substr(0, at));
}

std::string Cell(std::string_view text, size_t columns) {
  std::string cell;
  size_t used = 0;
  for (size_t at = 0; at < text.size(); ++used) {
    const size_t length = CharacterLength(text.substr(at));
    if (used + 1 == columns && at + length < text.size()) {
      cell += '~';  // more follows than the cell holds
      ++used;
      break;
    }
    if (used == columns) {
      break;
    }
    cell.append(text.substr(at, length));
    at += length;
  }
  return cell + std::string(columns > used ? columns - used : 0, ' ');
}

TerminalGuard::TerminalGuard(std::ostream& target, bool utf8) : target_(target), utf8_(utf8) {}

TerminalGuard::~TerminalGuard() {
  EscapePending();
  target_.flush();
}

TerminalGuard::int_type TerminalGuard::overflow(int_type c) {
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    const std::lock_guard<std::mutex> hold(lock_);
    Put(static_cast<unsigned char>(traits_type::to_char_type(c)));
  }
  return traits_type::not_eof(c);
}

std::streamsize TerminalGuard::xsputn(const char* s, std::streamsize n) {
  const std::lock_guard<std::mutex> hold(lock_);
  for (std::streamsize i = 0; i < n; ++i) {
    Put(static_cast<unsigned char>(s[i]));
  }
  return n;
}

int TerminalGuard::sync() {
  const std::lock_guard<std::mutex> hold(lock_);
  EscapePending();
  target_.flush();
  return target_ ? 0 : -1;
}

void TerminalGuard::Put(unsigned char byte) {
  if (!pending_.empty()) {
    if (pending_[0] == '\r') {
      pending_.clear();
      if (byte == '\n') {
        target_.write("\r\n", 2);
        return;
      }
      Escape('\r');
    } else if ((byte & 0xC0) == 0x80 && pending_.size() < awaited_) {
      pending_ += static_cast<char>(byte);
      if (pending_.size() == awaited_) {
        if (Utf8SequenceLength(pending_) == awaited_ && !IsC1(pending_)) {
          target_.write(pending_.data(), static_cast<std::streamsize>(pending_.size()));
          pending_.clear();
        } else {
          EscapePending();
        }
      }
      return;
    } else {
      EscapePending();
    }
  }
  if (byte == '\n' || (byte >= 0x20 && byte < 0x7F)) {
    target_.put(static_cast<char>(byte));
  } else if (byte == '\r') {
    pending_ = "\r";
  } else if (const size_t length = LengthOfLead(byte); utf8_ && length >= 2) {
    pending_ = static_cast<char>(byte);
    awaited_ = length;
  } else {
    Escape(byte);
  }
}

void TerminalGuard::Escape(unsigned char byte) {
  std::string text;
  AppendEscaped(text, byte);
  target_ << text;
}

void TerminalGuard::EscapePending() {
  for (const char c : pending_) {
    Escape(static_cast<unsigned char>(c));
  }
  pending_.clear();
}

}  // namespace quillmont::cli
