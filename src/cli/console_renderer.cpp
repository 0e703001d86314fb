// SPDX-License-Identifier: Apache-2.0
#include "cli/console_renderer.h"

#include <algorithm>

#include "cli/console_text.h"
#include "cli/exit_codes.h"
#include "cli/flash_report.h"
#include "cli/progress_text.h"

namespace quillmont::cli {
namespace {

// The widest the live progress line and a line of the block layout get.
constexpr size_t kLiveWidth = 100;
constexpr size_t kBlockWidth = 90;

// A live line one column short of the terminal's width: it never wraps, so erasing its one row
// erases it whole.
size_t WithinTerminal(size_t wanted, size_t columns) {
  return std::min(wanted, columns > 1 ? columns - 1 : 1);
}

}  // namespace

ConsoleRenderer::ConsoleRenderer(CliOutput io, bool json, Layout layout, int adapters)
    : io_(io), json_(json), layout_(layout), block_(static_cast<size_t>(adapters), "waiting") {}

std::string ConsoleRenderer::Lead(int adapter) const {
  return layout_ == Layout::kPrefixed || layout_ == Layout::kBlock
             ? "[adapter " + std::to_string(adapter) + "] "
             : "";
}

void ConsoleRenderer::Control(const std::string& sequence) {
  io_.err << std::flush;
  if (io_.controls != nullptr) {
    *io_.controls << sequence << std::flush;
  }
}

void ConsoleRenderer::EndLiveLine() {
  if (live_) {
    Control("\r\033[K");
    live_ = false;
  }
}

void ConsoleRenderer::OnLogLine(int adapter, const std::string& line, bool program_request) {
  if (json_ || layout_ == Layout::kBlock || layout_ == Layout::kQuiet) {
    return;
  }
  if (layout_ == Layout::kOneLine && io_.live && program_request) {
    return;  // the progress line names the step
  }
  EndLiveLine();
  io_.err << Lead(adapter) << line << '\n' << std::flush;
}

void ConsoleRenderer::OnStatus(int adapter, const std::string& text) {
  if (json_ || layout_ == Layout::kBlock) {
    return;
  }
  EndLiveLine();
  io_.err << Lead(adapter) << "[" << text << "]\n" << std::flush;
}

void ConsoleRenderer::OnMessageBox(int adapter, const std::string& text) {
  EndLiveLine();
  io_.err << Lead(adapter) << text << '\n' << std::flush;
}

void ConsoleRenderer::OnWarning(const std::string& text) {
  EndLiveLine();
  io_.err << text << '\n' << std::flush;
}

void ConsoleRenderer::OnLineNotice(const std::string& text) {
  if (!json_ && layout_ != Layout::kBlock && layout_ != Layout::kQuiet) {
    return;  // the log line carries it
  }
  EndLiveLine();
  io_.err << text << '\n' << std::flush;
}

void ConsoleRenderer::OnProgress(int adapter, const FlashProgress& progress) {
  if (json_ || !io_.live) {
    return;
  }
  if (layout_ == Layout::kOneLine) {
    Control("\r\033[K");
    io_.err << FormatProgressLine(progress, WithinTerminal(kLiveWidth, io_.columns)) << std::flush;
    live_ = true;
  } else if (layout_ == Layout::kBlock && static_cast<size_t>(adapter) < block_.size()) {
    block_[static_cast<size_t>(adapter)] = FormatProgressLine(progress, kBlockWidth);
    Redraw();
  }
}

void ConsoleRenderer::OnFlashResult(int adapter, const FlashResult& result) {
  if (json_ || layout_ != Layout::kBlock || static_cast<size_t>(adapter) >= block_.size()) {
    return;
  }
  block_[static_cast<size_t>(adapter)] =
      std::string(VerdictName(result.verdict)) + ": " + DetailOf(result);
  Redraw();
}

void ConsoleRenderer::Redraw() {
  const size_t width = WithinTerminal(kBlockWidth, io_.columns);
  if (drawn_) {
    Control("\033[" + std::to_string(block_.size()) + "A");
  }
  for (size_t i = 0; i < block_.size(); ++i) {
    Control("\r\033[K");
    io_.err << Cell("adapter " + std::to_string(i) + ": " + block_[i], width) << '\n';
  }
  io_.err << std::flush;
  drawn_ = true;
}

void ConsoleRenderer::OnSurvey(const std::vector<RigFixture>& fixtures) {
  if (!json_) {
    PrintPlan(plan_is_result ? io_.out : io_.err, io_.utf8, fixtures, adapter_column);
  }
}

void ConsoleRenderer::OnFixtureBegins(const RigFixture& fixture, int number, int total) {
  if (!json_) {
    io_.err << Lead(fixture.adapter) << "Fixture " << number << " of " << total << ": "
            << fixture.uid_text << '\n'
            << std::flush;
  }
}

void ConsoleRenderer::OnFixtureResult(const RigFixture& fixture, const FlashResult& result) {
  EndLiveLine();
  if (ExitCodeOf(result) != kExitSuccess) {
    io_.err << Lead(fixture.adapter) << fixture.uid_text << ": " << DetailOf(result) << '\n';
  }
  if (!json_) {
    io_.err << Lead(fixture.adapter) << fixture.uid_text << ": " << VerdictName(result.verdict)
            << " (" << Seconds(result.seconds) << ")\n\n";
  }
  io_.err << std::flush;
}

}  // namespace quillmont::cli
