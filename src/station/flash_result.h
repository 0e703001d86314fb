// SPDX-License-Identifier: Apache-2.0
// What one firmware update came to, typed: how it ended, the versions before and after, the
// bytes sent, the time, and the reason in words. Every front end renders this; none of them
// reads a window text back to learn it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillmont {

enum class FlashVerdict {
  kSuccess,             // the fixture answered from its new application
  kAborted,             // aborted by the operator or a signal, or an attempt budget ran out
  kStartUnanswered,     // the start requests went unanswered
  kStartRefused,        // the bootloader answered the start request with a NACK
  kStaysInBootloader,   // after the start the fixture still answered from its bootloader
  kNoAnswerAfterStart,  // after the start the fixture did not answer at all
  kFlashMismatch,       // the simulated fixture's flash does not hold the image
  kNoAdapter,           // no adapter opened
  kNoDevice,            // no fixture was found or known
  kNoAnswer,            // a rig's fixture answered the discovery, then nothing
  kSkipped,             // a rig's fixture the selection passes over
  kWouldUpdate,         // a rig's fixture chosen by a dry run
  kNotStarted,          // a rig's fixture whose turn did not come (the run was stopped)
  // The start request was sent, then the run was stopped before the fixture was heard: it may
  // run its new application or still be in its bootloader.
  kStartNotConfirmed,
};

// The verdict's name in the JSON document and the history: "success", "stays in bootloader".
const char* VerdictName(FlashVerdict verdict);

// How far an update has got, with its times on the run's clock.
struct FlashProgress {
  int64_t sent = 0;             // bytes of program requests sent, resent chunks included
  int64_t total = 0;            // loaded bytes of the image
  int64_t written = 0;          // bytes of acknowledged program requests, each chunk once
  int64_t to_write = 0;         // bytes of every program request, the signature's too
  int percent = 0;              // UpdateProgress::Percent: 100 only once the signature is written
  uint64_t micros = 0;          // since the update started
  uint64_t program_micros = 0;  // since the first program request
  std::string step;             // the last step the log named
};

struct FlashResult {
  FlashVerdict verdict = FlashVerdict::kNoDevice;
  bool stopped = false;  // a stop request ended it (a signal, the operator's abort)
  std::string detail;    // why, for people
  std::string uid;       // the fixture ("" when none was reached)
  std::string model;     // its model description, as it told it before the update
  std::string adapter;   // the adapter's name (its port, and a widget's serial number)
  double seconds = 0.0;  // on the run's clock
  int64_t sent = 0;
  int64_t total = 0;
  bool flash_checked = false;  // the simulated fixture's flash was compared with the image
  std::string version_before;  // the software version label before the update ("" untold)
  std::string version_after;   // the one the new application told after it ("" untold)
  bool updated = false;        // the update ran on the fixture (and was recorded)
  std::vector<std::string> log;

  bool succeeded() const { return verdict == FlashVerdict::kSuccess; }
};

}  // namespace quillmont
