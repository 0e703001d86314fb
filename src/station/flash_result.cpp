// SPDX-License-Identifier: Apache-2.0
#include "station/flash_result.h"

namespace quillmont {

const char* VerdictName(FlashVerdict verdict) {
  switch (verdict) {
    case FlashVerdict::kSuccess:
      return "success";
    case FlashVerdict::kAborted:
      return "aborted";
    case FlashVerdict::kStartUnanswered:
      return "start unanswered";
    case FlashVerdict::kStartRefused:
      return "start refused";
    case FlashVerdict::kStaysInBootloader:
      return "stays in bootloader";
    case FlashVerdict::kNoAnswerAfterStart:
      return "no answer after start";
    case FlashVerdict::kFlashMismatch:
      return "flash mismatch";
    case FlashVerdict::kNoAdapter:
      return "no adapter";
    case FlashVerdict::kNoDevice:
      return "no device";
    case FlashVerdict::kNoAnswer:
      return "no answer";
    case FlashVerdict::kSkipped:
      return "skipped";
    case FlashVerdict::kWouldUpdate:
      return "would update";
    case FlashVerdict::kNotStarted:
      return "not started";
    case FlashVerdict::kStartNotConfirmed:
      return "start requested, not confirmed";
  }
  return "";
}

}  // namespace quillmont
