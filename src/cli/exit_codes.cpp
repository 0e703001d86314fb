// SPDX-License-Identifier: Apache-2.0
#include "cli/exit_codes.h"

#include "cli/interrupt.h"

namespace quillmont::cli {
namespace {

int VerdictExitCode(FlashVerdict verdict) {
  switch (verdict) {
    case FlashVerdict::kSuccess:
    case FlashVerdict::kSkipped:
    case FlashVerdict::kWouldUpdate:
      return kExitSuccess;
    case FlashVerdict::kStartRefused:
      return kExitRefused;
    case FlashVerdict::kStaysInBootloader:
      return kExitInBootloader;
    case FlashVerdict::kNoAnswerAfterStart:
      return kExitNoAnswerAfterStart;
    case FlashVerdict::kNoAdapter:
      return kExitNoAdapter;
    case FlashVerdict::kNoDevice:
    case FlashVerdict::kNoAnswer:
      return kExitNoDevice;
    case FlashVerdict::kStartNotConfirmed:
      return kExitStartNotConfirmed;
    case FlashVerdict::kAborted:
    case FlashVerdict::kStartUnanswered:
    case FlashVerdict::kFlashMismatch:
    case FlashVerdict::kNotStarted:
      break;
  }
  return kExitUpdateAborted;
}

// The text a stopped run begins with: which signal stopped it.
std::string Stopper() {
  const int signal = PendingInterrupt();
  return signal != 0 ? InterruptText(signal) : std::string("Stopped.");
}

}  // namespace

int ExitCodeOf(const FlashResult& result) {
  // Stopped after the start request: its own status, for the fixture may run the new firmware.
  if (result.stopped && PendingInterrupt() != 0 &&
      result.verdict != FlashVerdict::kStartNotConfirmed) {
    return InterruptExitCode(PendingInterrupt());
  }
  return VerdictExitCode(result.verdict);
}

int ExitCodeOf(const FixtureReport& report) {
  switch (report.verdict) {
    case FixtureVerdict::kDone:
      return kExitSuccess;
    case FixtureVerdict::kNoAdapter:
      return kExitNoAdapter;
    case FixtureVerdict::kNoDevice:
    case FixtureVerdict::kNoAnswer:
      return kExitNoDevice;
    case FixtureVerdict::kRefused:
      return kExitRefused;
    case FixtureVerdict::kInBootloader:
      return kExitInBootloader;
    case FixtureVerdict::kStopped:
      break;
  }
  return InterruptExitCode(PendingInterrupt());
}

int ExitCodeOf(RigRefusal refusal) {
  switch (refusal) {
    case RigRefusal::kNone:
      return kExitSuccess;
    case RigRefusal::kNoAdapter:
      return kExitNoAdapter;
    case RigRefusal::kNoFixture:
      return kExitNoDevice;
    case RigRefusal::kNotOnLine:
      return kExitNotOnLine;
    case RigRefusal::kCountMismatch:
      return kExitCountMismatch;
    case RigRefusal::kNoMatch:
      break;
  }
  return kExitNoMatch;
}

std::string DetailOf(const FlashResult& result) {
  return result.stopped ? Stopper() + " " + result.detail : result.detail;
}

std::string DetailOf(const FixtureReport& report) {
  return report.verdict == FixtureVerdict::kStopped ? Stopper() : report.detail;
}

}  // namespace quillmont::cli
