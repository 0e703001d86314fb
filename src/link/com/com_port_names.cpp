// SPDX-License-Identifier: Apache-2.0
#include "link/com/com_port_names.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>

namespace quillmont::com {
namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr int kHighestPort = 255;

struct Split {
  std::string prefix;
  int number;
};

// "COM12" -> {"COM", 12}; a text without digits is all prefix.
Split SplitName(const std::string& name) {
  const size_t digits = name.find_first_of("0123456789");
  if (digits == std::string::npos) {
    return Split{name, 0};
  }
  return Split{name.substr(0, digits), std::atoi(name.c_str() + digits)};
}

}  // namespace

std::string ComPortName(const std::string& text) {
  std::string_view name = text;
  if (name.substr(0, kDevicePrefix.size()) == kDevicePrefix) {
    name.remove_prefix(kDevicePrefix.size());
  }
  size_t letters = 0;
  while (letters < name.size() && std::isalpha(static_cast<unsigned char>(name[letters])) != 0) {
    ++letters;
  }
  const std::string_view digits = name.substr(letters);
  const bool all_digits = std::all_of(digits.begin(), digits.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
  });
  if (letters == 0 || letters > 8 || digits.empty() || digits.size() > 3 || !all_digits ||
      (digits.size() > 1 && digits.front() == '0')) {
    return {};
  }
  if (std::atoi(std::string(digits).c_str()) > kHighestPort) {
    return {};
  }
  std::string upper(name);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return upper;
}

std::string ComDevicePath(const std::string& port_name) {
  return std::string(kDevicePrefix) + port_name;
}

void SortComPortNames(std::vector<std::string>& names) {
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const Split x = SplitName(a);
    const Split y = SplitName(b);
    return x.prefix != y.prefix ? x.prefix < y.prefix : x.number < y.number;
  });
  names.erase(std::unique(names.begin(), names.end()), names.end());
}

}  // namespace quillmont::com
