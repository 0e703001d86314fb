// SPDX-License-Identifier: Apache-2.0
// The update history: every update that reached a fixture, from any front end, is one JSON object
// on one line of history.jsonl in the user's data folder. A record is written with one write on
// a file opened for appending, under a lock, so that the updates of several adapters and of
// several programs never mix their lines. A damaged line is skipped with a warning when the
// history is read, never fatal.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace quillmont {

inline constexpr const char* kHistoryFileName = "history.jsonl";
// The longest line read back; a longer one is damaged.
inline constexpr size_t kMaxHistoryLine = 64 * 1024;

struct HistoryRecord {
  std::string time;  // ISO 8601, UTC: "2024-05-01T12:34:56Z"
  std::string program;
  std::string adapter;  // its port, and its serial number where known
  std::string uid;
  std::string model;
  std::string version_before;
  std::string version_after;
  std::string file;
  std::string sha256;
  std::string result;  // the names the JSON output uses: "success", "stays in bootloader"
  std::string detail;
  double seconds = 0.0;
  bool simulated = false;
};

// The record as one line of JSON, without its line feed.
std::string HistoryLine(const HistoryRecord& record);
// A line read back; an error when it is not a record.
Result<HistoryRecord> ParseHistoryLine(std::string_view line);

// "2024-05-01T12:34:56Z".
std::string IsoUtcTime(std::chrono::system_clock::time_point time);

// What the history command shows: records of one fixture, and records from a time on.
struct HistoryFilter {
  std::optional<std::string> uid;    // as the records write it: "4F 4C 12 34 56 78"
  std::optional<std::string> since;  // "2024-05-01" or "2024-05-01T12:00:00Z"
  bool Matches(const HistoryRecord& record) const;
};

// "2024-05-01" or "2024-05-01T12:34:56Z" (the Z may be left out): checked, as it compares with
// the records' times. An error says what is wanted.
Result<std::string> ParseHistoryDate(std::string_view text);

struct HistoryReading {
  std::vector<HistoryRecord> records;
  std::vector<std::string> warnings;  // one for each damaged line
};

class UpdateHistory {
 public:
  using Now = std::function<std::chrono::system_clock::time_point()>;

  // The history in `file`; `now` gives a record's time (the system's clock by default).
  explicit UpdateHistory(std::filesystem::path file, Now now = {});

  const std::filesystem::path& file() const { return file_; }

  // Appends `record` (its time set now), creating the folder and the file as needed. Safe from
  // several threads and several programs at once.
  Status Append(HistoryRecord record);

  // Every record, oldest first. No file yet: none. An error only when the file exists and
  // cannot be read.
  Result<HistoryReading> Read() const;

 private:
  std::filesystem::path file_;
  Now now_;
  std::mutex lock_;
};

// Appends `line` (its line feed included) to `file` with one write on a descriptor opened for
// appending, holding the file's lock meanwhile; the folder is made when missing. One per system.
Status AppendLineLocked(const std::filesystem::path& file, const std::string& line);

}  // namespace quillmont
