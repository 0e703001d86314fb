// SPDX-License-Identifier: Apache-2.0
// The station's events as console text, as each command shows them, all on standard error:
// status lines, the log lines of an update as they come (on a terminal one live progress line
// instead of a line per program request), every adapter's progress as a block of lines, each
// rig fixture's turn, message boxes and warnings. Standard output keeps what the command comes
// to: the summary or table its command prints at the end, and a rig's plan when the plan is the
// result (a dry run). With --json only the message boxes and warnings are shown; the document is
// written at the end.
//
// A live line is never left behind: whatever is written next first erases it, so no stale "0%"
// stays on the terminal, and it never passes the terminal's width, so erasing it erases it
// whole.
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
    kQuiet,     // a command that is not an update: its status in brackets alone
  };

  // `adapters`: the lines of the run, for the block layout.
  ConsoleRenderer(CliOutput io, bool json, Layout layout, int adapters = 1);

  // A rig's plan shows each fixture's adapter (--all-adapters).
  bool adapter_column = false;
  // A rig's plan is what the command comes to (a dry run): it goes to standard output.
  bool plan_is_result = false;

  // Erases a live progress line, so that what follows starts on a clean line.
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
  // A terminal's own control sequence, written past the guard.
  void Control(const std::string& sequence);

  CliOutput io_;
  bool json_;
  Layout layout_;
  bool live_ = false;
  std::vector<std::string> block_;  // the block layout's line of each adapter
  bool drawn_ = false;
};

}  // namespace quillmont::cli
