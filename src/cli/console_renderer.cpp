#include "cli/console_renderer.h"

#include "cli/exit_codes.h"
#include "cli/flash_report.h"
#include "cli/progress_text.h"

namespace quillmont::cli {
namespace {

// The width of an adapter's line in the block layout.
constexpr size_t kBlockWidth = 90;

}  // namespace

ConsoleRenderer::ConsoleRenderer(CliOutput io, bool json, Layout layout, int adapters)
    : io_(io), json_(json), layout_(layout), block_(static_cast<size_t>(adapters), "waiting") {}

std::string ConsoleRenderer::Lead(int adapter) const {
  return layout_ == Layout::kPrefixed || layout_ == Layout::kBlock
             ? "[adapter " + std::to_string(adapter) + "] "
             : "";
}

void ConsoleRenderer::EndLiveLine() {
  if (live_) {
    io_.out << '\n';
    live_ = false;
  }
}

void ConsoleRenderer::OnLogLine(int adapter, const std::string& line, bool program_request) {
  if (json_ || layout_ == Layout::kBlock || layout_ == Layout::kQuiet) {
    return;
  }
  if (layout_ == Layout::kOneLine && io_.out_is_terminal && program_request) {
    return;  // the progress line names the step
  }
  EndLiveLine();
  io_.out << Lead(adapter) << line << '\n' << std::flush;
}

void ConsoleRenderer::OnStatus(int adapter, const std::string& text) {
  if (json_ || layout_ == Layout::kBlock) {
    return;
  }
  if (layout_ == Layout::kQuiet) {
    io_.err << "[" << text << "]\n";
    return;
  }
  EndLiveLine();
  io_.out << Lead(adapter) << "[" << text << "]\n" << std::flush;
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
  if (json_ || !io_.out_is_terminal) {
    return;
  }
  if (layout_ == Layout::kOneLine) {
    io_.out << "\r\033[K" << FormatProgressLine(progress) << std::flush;
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
  if (drawn_) {
    io_.out << "\033[" << block_.size() << "A";
  }
  for (size_t i = 0; i < block_.size(); ++i) {
    io_.out << "\r\033[Kadapter " << i << ": " << block_[i] << '\n';
  }
  io_.out << std::flush;
  drawn_ = true;
}

void ConsoleRenderer::OnSurvey(const std::vector<RigFixture>& fixtures) {
  if (!json_) {
    PrintPlan(io_.out, fixtures, adapter_column);
  }
}

void ConsoleRenderer::OnFixtureBegins(const RigFixture& fixture, int number, int total) {
  if (!json_) {
    io_.out << Lead(fixture.adapter) << "Fixture " << number << " of " << total << ": "
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
    io_.out << Lead(fixture.adapter) << fixture.uid_text << ": " << VerdictName(result.verdict)
            << " (" << Seconds(result.seconds) << ")\n\n"
            << std::flush;
  }
}

}  // namespace quillmont::cli
