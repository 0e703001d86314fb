// SPDX-License-Identifier: Apache-2.0
#include "station/history.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

#include "station/user_folders.h"

namespace quillmont {
namespace {

using Json = nlohmann::ordered_json;

// The proleptic Gregorian date of a count of days since 1970-01-01.
void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto of_era = static_cast<unsigned>(days - era * 146097);
  const unsigned year_of_era = (of_era - of_era / 1460 + of_era / 36524 - of_era / 146096) / 365;
  const unsigned day_of_year = of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const unsigned shifted_month = (5 * day_of_year + 2) / 153;
  day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  year = static_cast<int64_t>(year_of_era) + era * 400 + (month <= 2 ? 1 : 0);
}

std::string Text(const Json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool Digits(std::string_view text, size_t at, size_t count) {
  for (size_t i = at; i < at + count; ++i) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') {
      return false;
    }
  }
  return true;
}

int Number(std::string_view text, size_t at, size_t count) {
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// Splits what is read into lines, each at most kMaxHistoryLine long; a longer one is reported
// as too long. A last line without its line feed counts too.
class LineSplitter {
 public:
  template <typename Take>
  void Feed(const char* bytes, size_t count, const Take& take) {
    for (size_t i = 0; i < count; ++i) {
      if (bytes[i] == '\n') {
        End(take);
      } else if (line_.size() < kMaxHistoryLine) {
        line_.push_back(bytes[i]);
      } else {
        too_long_ = true;
      }
    }
  }
  template <typename Take>
  void End(const Take& take) {
    if (!line_.empty() && line_.back() == '\r') {
      line_.pop_back();
    }
    take(line_, too_long_);
    line_.clear();
    too_long_ = false;
  }
  bool pending() const { return !line_.empty() || too_long_; }

 private:
  std::string line_;
  bool too_long_ = false;
};

}  // namespace

std::string HistoryLine(const HistoryRecord& record) {
  Json json{{"time", record.time},
            {"program", record.program},
            {"adapter", record.adapter},
            {"uid", record.uid},
            {"model", record.model},
            {"version_before", record.version_before},
            {"version_after", record.version_after},
            {"file", record.file},
            {"sha256", record.sha256},
            {"result", record.result},
            {"detail", record.detail},
            {"seconds", record.seconds}};
  if (record.simulated) {
    json["simulated"] = true;
  }
  // A fixture's texts are bytes off the line: whatever is not UTF-8 is written as U+FFFD.
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Result<HistoryRecord> ParseHistoryLine(std::string_view line) {
  const Json json = Json::parse(line.begin(), line.end(), nullptr, false);
  if (json.is_discarded() || !json.is_object()) {
    return Error{"not a JSON object"};
  }
  for (const char* key : {"time", "uid", "result"}) {
    if (!json.contains(key) || !json[key].is_string()) {
      return Error{std::string("no \"") + key + "\""};
    }
  }
  HistoryRecord record;
  record.time = Text(json, "time");
  record.program = Text(json, "program");
  record.adapter = Text(json, "adapter");
  record.uid = Text(json, "uid");
  record.model = Text(json, "model");
  record.version_before = Text(json, "version_before");
  record.version_after = Text(json, "version_after");
  record.file = Text(json, "file");
  record.sha256 = Text(json, "sha256");
  record.result = Text(json, "result");
  record.detail = Text(json, "detail");
  if (const auto it = json.find("seconds"); it != json.end() && it->is_number()) {
    const double seconds = it->get<double>();
    record.seconds = std::isfinite(seconds) ? seconds : 0.0;
  }
  if (const auto it = json.find("simulated"); it != json.end() && it->is_boolean()) {
    record.simulated = it->get<bool>();
  }
  return record;
}

std::string IsoUtcTime(std::chrono::system_clock::time_point time) {
  const int64_t seconds = std::chrono::floor<std::chrono::seconds>(time).time_since_epoch().count();
  const int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
  const int64_t of_day = seconds - days * 86400;
  int64_t year = 0;
  unsigned month = 0;
  unsigned day = 0;
  CivilFromDays(days, year, month, day);
  char text[40];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02dZ", static_cast<long long>(year),
                month, day, static_cast<int>(of_day / 3600), static_cast<int>(of_day / 60 % 60),
                static_cast<int>(of_day % 60));
  return text;
}

bool HistoryFilter::Matches(const HistoryRecord& record) const {
  return (!uid || record.uid == *uid) && (!since || record.time >= *since);
}

Result<std::string> ParseHistoryDate(std::string_view text) {
  const Error wanted{"--since wants a date, 2024-05-01, or a time in UTC, 2024-05-01T12:00:00Z"};
  const bool date = text.size() >= 10 && Digits(text, 0, 4) && text[4] == '-' &&
                    Digits(text, 5, 2) && text[7] == '-' && Digits(text, 8, 2);
  if (!date || Number(text, 5, 2) < 1 || Number(text, 5, 2) > 12 || Number(text, 8, 2) < 1 ||
      Number(text, 8, 2) > 31) {
    return wanted;
  }
  if (text.size() == 10) {
    return std::string(text);
  }
  const std::string_view clock = text.substr(10);
  const bool time = (clock.size() == 9 || (clock.size() == 10 && clock[9] == 'Z')) &&
                    clock[0] == 'T' && Digits(clock, 1, 2) && clock[3] == ':' &&
                    Digits(clock, 4, 2) && clock[6] == ':' && Digits(clock, 7, 2);
  if (!time || Number(clock, 1, 2) > 23 || Number(clock, 4, 2) > 59 || Number(clock, 7, 2) > 60) {
    return wanted;
  }
  return std::string(text.substr(0, 19)) + "Z";
}

UpdateHistory::UpdateHistory(std::filesystem::path file, Now now)
    : file_(std::move(file)), now_(now ? std::move(now) : Now(&std::chrono::system_clock::now)) {}

Status UpdateHistory::Append(HistoryRecord record) {
  const std::lock_guard<std::mutex> guard(lock_);
  record.time = IsoUtcTime(now_());
  if (const Status written = AppendLineLocked(file_, HistoryLine(record) + "\n"); !written) {
    return Error{"The update was not recorded in " + PathText(file_) + ": " +
                 written.error().message};
  }
  return {};
}

Result<HistoryReading> UpdateHistory::Read() const {
  const auto cannot_read = [this](const std::string& why) {
    return Error{"Cannot read " + PathText(file_) + ": " + why};
  };
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(file_, error);
  switch (status.type()) {
    case std::filesystem::file_type::not_found:
      return HistoryReading{};  // nothing recorded yet
    case std::filesystem::file_type::regular:
      break;
    case std::filesystem::file_type::directory:
      return cannot_read("is a directory");
    case std::filesystem::file_type::none:
    case std::filesystem::file_type::unknown:
      return cannot_read(error == std::errc::permission_denied ? "permission denied"
                                                               : error.message());
    default:
      return cannot_read("not a regular file");
  }
  errno = 0;
  std::ifstream in(file_, std::ios::binary);
  if (!in) {
    return cannot_read(errno == EACCES ? "permission denied" : std::strerror(errno));
  }
  HistoryReading reading;
  int number = 0;
  const auto take = [&](const std::string& line, bool too_long) {
    ++number;
    Result<HistoryRecord> record = too_long
                                       ? Result<HistoryRecord>(Error{"longer than a record can be"})
                                       : ParseHistoryLine(line);
    if (record) {
      reading.records.push_back(std::move(*record));
    } else if (too_long || !line.empty()) {
      reading.warnings.push_back(PathText(file_) + " line " + std::to_string(number) +
                                 ": damaged (" + record.error().message + "); skipped.");
    }
  };
  LineSplitter splitter;
  std::vector<char> block(64 * 1024);
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
    splitter.Feed(block.data(), static_cast<size_t>(in.gcount()), take);
  }
  if (in.bad()) {
    return cannot_read("a read failed");
  }
  if (splitter.pending()) {
    splitter.End(take);
  }
  return reading;
}

}  // namespace quillmont
