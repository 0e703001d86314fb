// SPDX-License-Identifier: Apache-2.0
// Where the firmware update stands, and how it ended.
#pragma once

#include <cstdint>
#include <string>

namespace quillmont {

// The states of the update procedure, in the order a run passes through them.
enum class UpdateState : int16_t {
  kIdle = 0,
  kFindBootloader = 1,
  kEnterBootloader = 2,
  kEraseBlocks = 3,
  kStartProgramming = 4,
  kProgramChunks = 5,
  kWriteSignature = 6,
  kStartUserProgram = 7,
  // The start request was acknowledged: poll until the fixture answers from its application,
  // then read its software version label.
  kVerifyStart = 8,
};

// How an update ended.
enum class UpdateOutcome {
  kSuccess,             // the fixture answered from its new application after the start
  kAbortedByUser,       // the operator aborted it
  kNoDevice,            // no fixture was known when it began
  kAttemptsExhausted,   // a step's attempt budget ran out ("Operation ABORTED")
  kAdapterLost,         // the adapter went away while the update ran
  kStartUnanswered,     // the start requests went unanswered
  kStartRefused,        // the bootloader answered the start request with a NACK
  kStaysInBootloader,   // after the start, the fixture still answered from its bootloader
  kNoAnswerAfterStart,  // after the start, the fixture did not answer at all
};

// How an update ended, for people: what happened, with the request that went unanswered or the
// step that was cut off and in which state the fixture is left (one sentence or a few, the log's
// last line and the result's detail), and what to do next ("" when nothing is to be done).
struct UpdateEnd {
  UpdateOutcome outcome = UpdateOutcome::kNoDevice;
  std::string what;
  std::string next;
};

// How far an update has got: reported after every request the procedure sends.
struct UpdateProgress {
  int64_t sent = 0;      // bytes of program requests sent, resent chunks included
  int64_t total = 0;     // loaded bytes of the image
  uint32_t address = 0;  // the chunk or block being worked on
  UpdateState step = UpdateState::kIdle;
  int64_t written = 0;   // bytes of acknowledged program requests, each chunk once
  int64_t to_write = 0;  // bytes of every program request the update sends, the signature's too

  // The share written, in percent: 100 only once every chunk is, the signature (sent last) too.
  int Percent() const {
    if (to_write <= 0 || written <= 0) {
      return 0;
    }
    return written >= to_write ? 100 : static_cast<int>(written * 100 / to_write);
  }
};

}  // namespace quillmont
