#include "cli/flash_report.h"

#include <cstdio>

#include "cli/progress_text.h"
#include "update/srec2.h"

namespace quillmont::cli {

using nlohmann::json;

json ResultJson(const FlashResult& r) {
  return json{{"uid", r.uid},
              {"result", r.result},
              {"detail", r.detail},
              {"exit_code", r.exit_code},
              {"seconds", r.seconds},
              {"bytes_sent", r.sent},
              {"bytes_total", r.total},
              {"flash_checked", r.flash_checked},
              {"software_version_before", r.version_before},
              {"software_version_after", r.version_after}};
}

int EarlyFailure(const GlobalOptions& options, CliOutput io, const std::string& path, int code,
                 const char* result, const std::string& detail, const std::string& told) {
  if (!detail.empty()) {
    io.err << detail << '\n';
  }
  if (options.json) {
    io.out << json{{"command", "flash"},
                   {"file", path},
                   {"result", result},
                   {"detail", detail.empty() ? told : detail},
                   {"exit_code", code}}
                  .dump(2)
           << '\n';
  }
  return code;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

std::string Told(const std::string& version) {
  return version.empty() ? "(not told)" : version;
}

std::string RefusalOfEnding(const FlashFile& file, bool allow_unterminated) {
  if (file.loaded->file_ending == FileEnding::kComplete || allow_unterminated) {
    return {};
  }
  return FileEndingText(file.loaded->file_ending) +
         " Nothing was sent; give --allow-unterminated to flash it all the same.";
}

FlashSink FlashConsole::Sink() {
  FlashSink sink;
  sink.message_box = [this](const std::string& text) {
    EndLiveLine();
    io_.err << text << '\n' << std::flush;
  };
  if (json_) {
    return sink;
  }
  sink.log = [this](const std::string& line, bool program_request) {
    if (io_.out_is_terminal && program_request) {
      return;  // the progress line names the step
    }
    EndLiveLine();
    io_.out << line << '\n' << std::flush;
  };
  sink.status = [this](const std::string& text) {
    EndLiveLine();
    io_.out << "[" << text << "]\n" << std::flush;
  };
  if (io_.out_is_terminal) {
    sink.progress = [this](const FlashProgress& progress) {
      io_.out << "\r\033[K" << FormatProgressLine(progress) << std::flush;
      live_ = true;
    };
  }
  return sink;
}

void FlashConsole::EndLiveLine() {
  if (live_) {
    io_.out << '\n';
    live_ = false;
  }
}

FlashSink PrefixedSink(std::mutex& lock, CliOutput io, bool json, const std::string& prefix) {
  FlashSink sink;
  sink.message_box = [&lock, io, prefix](const std::string& text) {
    const std::lock_guard<std::mutex> guard(lock);
    io.err << prefix << text << '\n';
  };
  if (json) {
    return sink;
  }
  sink.log = [&lock, io, prefix](const std::string& line, bool /*program_request*/) {
    const std::lock_guard<std::mutex> guard(lock);
    io.out << prefix << line << '\n';
  };
  sink.status = [&lock, io, prefix](const std::string& text) {
    const std::lock_guard<std::mutex> guard(lock);
    io.out << prefix << "[" << text << "]\n";
  };
  return sink;
}

}  // namespace quillmont::cli
