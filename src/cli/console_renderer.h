// The station's events as console text, as each command shows them: the log lines and status of
// an update as they come (on a terminal one live progress line instead of a line per program
// request), every adapter's progress as a block of lines, a rig's plan and each fixture's turn,
// and message boxes and warnings on standard error. With --json only the message boxes and
// warnings are shown; the document is written at the end.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "station/station_events.h"

namespace quillmont::cli {

class ConsoleRenderer final : public StationEvents {
 public:
  enum class Layout {
    kOneLine,   // one update: its log lines, status in brackets, a live progress line
    kPrefixed,  // several lines at once: every line after "[adapter N] "
    kBlock,     // every adapter at once on a terminal: a progress line each, redrawn
    kQuiet,     // a command that is not an update: status in brackets on standard error
  };

  // `adapters`: the lines of the run, for the block layout.
  ConsoleRenderer(CliOutput io, bool json, Layout layout, int adapters = 1);

  // A rig's plan shows each fixture's adapter (--all-adapters).
  bool adapter_column = false;

  // Ends a live progress line, so that what follows starts on a line of its own.
  void EndLiveLine();

  void OnLogLine(int adapter, const std::string& line, bool program_request) override;
  void OnStatus(int adapter, const std::string& text) override;
  void OnMessageBox(int adapter, const std::string& text) override;
  void OnProgress(int adapter, const FlashProgress& progress) override;
  void OnWarning(const std::string& text) override;
  // What the line tells of the adapter (a break it cannot send): in the log where the log is
  // shown, on standard error where it is not.
  void OnLineNotice(const std::string& text) override;
  void OnSurvey(const std::vector<RigFixture>& fixtures) override;
  void OnFixtureBegins(const RigFixture& fixture, int number, int total) override;
  void OnFixtureResult(const RigFixture& fixture, const FlashResult& result) override;
  void OnFlashResult(int adapter, const FlashResult& result) override;

 private:
  std::string Lead(int adapter) const;
  void Redraw();

  CliOutput io_;
  bool json_;
  Layout layout_;
  bool live_ = false;
  std::vector<std::string> block_;  // the block layout's line of each adapter
  bool drawn_ = false;
};

}  // namespace quillmont::cli
