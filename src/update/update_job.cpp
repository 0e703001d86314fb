// SPDX-License-Identifier: Apache-2.0
#include "update/update_job.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "rdm/byte_order.h"
#include "rdm/fixture_text.h"
#include "rdm/message.h"
#include "rdm/response_check.h"
#include "update/bootloader_request.h"
#include "update/chunk_choice.h"
#include "update/erase_coverage.h"

namespace quillmont {
namespace {

// Waits, in ticks, after each request.
constexpr int16_t kPollWait = 50;
constexpr int16_t kEnterWait = 20;
constexpr int16_t kEraseWait = 300;
constexpr int16_t kProgramWait = 100;
constexpr int16_t kStartWait = 20;

// Attempt budgets.
constexpr int16_t kBudget = UpdateJob::kStartBudget;
constexpr int16_t kEraseBudget = 6;
// In EraseBlocks, an acting step that finds this many attempts left falls back to entering
// the bootloader again.
constexpr int16_t kEraseFallBack = 3;
// StartUserProgram ends the procedure once fewer attempts than this are left.
constexpr int16_t kStartRequestsEnd = 4;

constexpr uint32_t kFlashNewBootloaderFrom = 0xE000;

// An ACK_TIMER puts a request off by the delay the fixture tells, counted in ticks of the
// window's 10 ms timer: at least 100 ms (E1.20's unit), at most the longest wait the procedure
// knows, so that a fixture cannot stall an update with a delay of its choosing.
constexpr uint32_t kMsPerTick = 10;
constexpr uint32_t kLeastAckTimerWait = 10;
constexpr auto kLongestWait = static_cast<uint32_t>(kEraseWait);

// The verification after an acknowledged start: the first poll after the application has had
// a moment to come up, then a poll every so often, 3 s in all; then up to three requests for
// the application's version label.
constexpr int16_t kVerifyFirstWait = 10;
constexpr int16_t kVerifyPollWait = 20;
constexpr int16_t kVerifyPolls = 15;
constexpr int16_t kVersionWait = 20;
constexpr int16_t kVersionRequests = 3;

std::string Format(const char* format, unsigned value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// What to do after an end that left the fixture in (or on the way to) its bootloader: the next
// update finds the bootloader with its first poll and erases at once.
constexpr const char* kRunAgain =
    "Run the update again: it finds the bootloader and erases at once.";

}  // namespace

const char* UpdateOutcomeText(UpdateOutcome outcome) {
  switch (outcome) {
    case UpdateOutcome::kSuccess:
      return "The fixture answers from its new application.";
    case UpdateOutcome::kAbortedByUser:
      return "The update was aborted; the fixture may be left in its bootloader.";
    case UpdateOutcome::kNoDevice:
      return "No fixture was known when the update began.";
    case UpdateOutcome::kAttemptsExhausted:
      return "The fixture stopped answering the bootloader's requests; the update was aborted.";
    case UpdateOutcome::kAdapterLost:
      return "The adapter was lost; the update was aborted.";
    case UpdateOutcome::kStartUnanswered:
      return "The bootloader did not acknowledge the request to start the new application.";
    case UpdateOutcome::kStartRefused:
      return "The bootloader refused the request to start the new application.";
    case UpdateOutcome::kStaysInBootloader:
      return "The fixture is still in its bootloader: it did not start the new application.";
    case UpdateOutcome::kNoAnswerAfterStart:
      return "The fixture did not answer after the request to start the new application.";
  }
  return "";
}

std::string IncompleteFileNote(FileEnding ending) {
  switch (ending) {
    case FileEnding::kComplete:
      break;
    case FileEnding::kNoEndRecord:
      return "The file had no end record: the image may be incomplete.";
    case FileEnding::kCountMismatch:
      return "The file's count record did not match its data: the image may be incomplete.";
  }
  return "";
}

int64_t UpdateTickBound(int64_t chunks, int64_t erases) {
  constexpr int64_t kLongestWait =
      std::max({kPollWait, kEnterWait, kEraseWait, kProgramWait, kStartWait}) + 1;
  constexpr int64_t kMostAttempts = std::max({kBudget, kEraseBudget}) + 1;
  constexpr int64_t kVerifyTicks = kVerifyFirstWait + (kVerifyPolls + 1) * (kVerifyPollWait + 1) +
                                   (kVersionRequests + 1) * (kVersionWait + 1);
  // The way into the bootloader, the start requests and a few steps more than a plan holds.
  constexpr int64_t kMarginSteps = 20;
  return (chunks + erases + kMarginSteps) * kMostAttempts * kLongestWait + kVerifyTicks;
}

void UpdateJob::Reset() {
  retries_left_ = 0;
  wait_ticks_ = 0;
  state_ = UpdateState::kIdle;
  chunk_length_ = 0;
}

Status UpdateJob::Start() {
  if (Status erased =
          CheckChunksErased(host_.UpdateImage(), host_.UpdateAnalysis(), host_.UpdateErasePlan());
      !erased) {
    return erased;
  }
  started_version_.clear();
  application_answered_ = false;
  heard_bootloader_ = false;
  enter_sent_ = false;
  found_bootloader_ = false;
  erase_sent_ = false;
  start_sent_ = false;
  request_.clear();
  request_sends_ = 0;
  end_ = UpdateEnd{};
  written_count_ = 0;
  program_total_ = 0;
  host_.SetUpdateCaption(kRunningCaption);
  retries_left_ = kStartBudget;
  state_ = UpdateState::kFindBootloader;
  return {};
}

void UpdateJob::Abort() {
  host_.AppendLog("\r\nOperation Aborted by User.\r\n");
  EndCutOff(UpdateOutcome::kAbortedByUser);
}

void UpdateJob::OnLinkLost() {
  if (!running()) {
    return;
  }
  host_.AppendLog("\r\nOperation ABORTED !  :-(\r\n");
  EndCutOff(UpdateOutcome::kAdapterLost);
}

void UpdateJob::EndCutOff(UpdateOutcome outcome) {
  std::string what;
  std::string next = FixtureTouched() ? kRunAgain
                                      : "Check the adapter, the line and the fixture, then run the "
                                        "update again.";
  switch (outcome) {
    case UpdateOutcome::kAbortedByUser:
      what = "The operator aborted the update while " + StepText() + ".";
      break;
    case UpdateOutcome::kAdapterLost:
      what = "The adapter was lost while " + StepText() + ".";
      next = "Connect the adapter again. " + next;
      break;
    default:
      what = "The fixture stopped answering: " + request_ + " went unanswered" +
             (request_sends_ > 1 ? " (sent " + std::to_string(request_sends_) + " times)" : "") +
             ".";
      break;
  }
  End(outcome, what + " " + FixtureLeftText(), next);
}

std::string UpdateJob::StepText() const {
  switch (state_) {
    case UpdateState::kIdle:
    case UpdateState::kFindBootloader:
      return "looking for the bootloader";
    case UpdateState::kEnterBootloader:
      return "entering the bootloader";
    case UpdateState::kEraseBlocks:
      return host_.UpdateErasePlan().erase_count > 0
                 ? Format("erasing block $%0X", host_.UpdateErasePlan().erase_list[0])
                 : "erasing";
    case UpdateState::kStartProgramming:
    case UpdateState::kProgramChunks:
      return Format("programming $%0X", write_address_) + " (" +
             std::to_string(program_total_ > 0 ? written_count_ * 100 / program_total_ : 0) +
             " % written)";
    case UpdateState::kWriteSignature:
      return "writing the signature";
    case UpdateState::kStartUserProgram:
      return "starting the new application";
    case UpdateState::kVerifyStart:
      return "waiting for the new application to answer";
  }
  return "";
}

std::string UpdateJob::FixtureLeftText() const {
  if (start_sent_) {
    return "The new firmware is written and the fixture was asked to start it; it may still be in "
           "its bootloader.";
  }
  if (written_count_ > 0) {
    return "The fixture is left in its bootloader with the new firmware partly written (" +
           std::to_string(written_count_) + " of " + std::to_string(program_total_) + " bytes).";
  }
  if (erase_sent_) {
    return "The fixture is left in its bootloader with its application erased.";
  }
  if (found_bootloader_) {
    return "The fixture is left in its bootloader.";
  }
  if (enter_sent_) {
    return "The fixture was asked to enter its bootloader and may be waiting there.";
  }
  return "Nothing on the fixture was changed.";
}

void UpdateJob::NameRequest(std::string request) {
  request_sends_ = request == request_ ? request_sends_ + 1 : 1;
  request_ = std::move(request);
}

void UpdateJob::ResumeAt(UpdateState state, uint32_t write_address, uint32_t chunk_length) {
  chunk_length_ = std::min<uint32_t>(chunk_length, kMaxChunkLength) & ~1u;
  write_address_ = std::min(write_address, kImageSize - chunk_length_);
  retries_left_ = kBudget;
  state_ = state;
}

void UpdateJob::Step() {
  if (wait_ticks_ >= 1) {
    --wait_ticks_;
    return;
  }
  if (state_ == UpdateState::kIdle) {
    return;
  }
  if (state_ == UpdateState::kVerifyStart) {
    VerifyStep();  // counts its own polls
    return;
  }
  if (retries_left_ >= 1) {
    --retries_left_;
    if (retries_left_ == 0) {
      host_.AppendLog("\r\nOperation ABORTED !  :-(\r\n");
      EndCutOff(UpdateOutcome::kAttemptsExhausted);
      return;
    }
  }
  // Each handler runs when the state holds its value as it is reached, so a move to a later
  // state goes on within this step and a move to an earlier one waits for the next.
  if (state_ == UpdateState::kFindBootloader && !FindBootloaderStep()) {
    return;
  }
  if (state_ == UpdateState::kEnterBootloader) {
    EnterBootloaderStep();
  }
  if (state_ == UpdateState::kEraseBlocks) {
    EraseBlocksStep();
  }
  if (state_ == UpdateState::kStartProgramming) {
    StartProgrammingStep();
  }
  if (state_ == UpdateState::kProgramChunks || state_ == UpdateState::kWriteSignature) {
    ProgramStep();
  }
  if (state_ == UpdateState::kStartUserProgram) {
    StartUserProgramStep();
  }
}

bool UpdateJob::FindBootloaderStep() {
  if (!host_.DeviceKnown()) {
    // Cleared before the box opens: the ticks that run inside it find nothing to do.
    state_ = UpdateState::kIdle;
    retries_left_ = 0;
    host_.SetUpdateCaption(kIdleCaption);
    end_ = UpdateEnd{UpdateOutcome::kNoDevice, UpdateOutcomeText(UpdateOutcome::kNoDevice), ""};
    host_.ReportOutcome(UpdateOutcome::kNoDevice);
    host_.ShowMessageBox("No devices connected");
    return false;
  }
  NameRequest("the poll (DISC_UN_MUTE)");
  Send(DISCOVERY_COMMAND, DISC_UN_MUTE, nullptr, 0, 0);
  wait_ticks_ = kPollWait;
  host_.AppendLog("Looking for bootloader...");
  return true;
}

void UpdateJob::EnterBootloaderStep() {
  const uint8_t enter[2] = {BOOT_SYNC, BOOT_ENTER};
  NameRequest("the request to enter the bootloader");
  enter_sent_ = true;
  Send(SET_COMMAND, PID_BOOTLOADER, enter, sizeof enter, 0);
  host_.AppendLog("Entering bootloader...");
  wait_ticks_ = kEnterWait;
  state_ = UpdateState::kFindBootloader;
}

void UpdateJob::EraseBlocksStep() {
  if (retries_left_ == kEraseFallBack) {
    state_ = UpdateState::kEnterBootloader;
    return;
  }
  const ErasePlan& plan = host_.UpdateErasePlan();
  if (plan.erase_count <= 0) {
    state_ = UpdateState::kStartProgramming;
    return;
  }
  const uint32_t address = plan.erase_list[0];
  uint8_t pd[kEraseRequestSize];
  WriteEraseRequest(address, pd);
  NameRequest(Format("the request to erase block $%0X", address));
  erase_sent_ = true;
  Send(SET_COMMAND, PID_BOOTLOADER, pd, sizeof pd, address);
  wait_ticks_ = kEraseWait;
  host_.AppendLog(Format("Erasing block $%0X...", address));
}

void UpdateJob::StartProgrammingStep() {
  write_address_ = 0;
  sent_count_ = 0;
  written_count_ = 0;
  program_total_ = 0;
  for (const PlannedChunk& chunk : PlanChunks(host_.UpdateImage(), host_.UpdateAnalysis())) {
    program_total_ += chunk.length;
  }
  retries_left_ = kBudget;
  state_ = UpdateState::kProgramChunks;
}

void UpdateJob::ProgramStep() {
  FirmwareImage& image = host_.UpdateImage();
  const ImageAnalysis& analysis = host_.UpdateAnalysis();
  const uint32_t end = ProgramEnd(image, analysis);
  if (state_ == UpdateState::kProgramChunks && write_address_ > end) {
    state_ = UpdateState::kWriteSignature;
  }
  if (state_ == UpdateState::kProgramChunks) {
    const ChunkChoice choice = ChooseNextChunk(image, write_address_, end, analysis.signature);
    write_address_ = choice.address;
    if (choice.finished) {
      Finish();
      return;
    }
    chunk_length_ = choice.length;
  } else {
    if (analysis.signature == 0 || write_address_ == analysis.signature + 4) {
      Finish();
      return;
    }
    write_address_ = analysis.signature;
    for (uint32_t i = 0; i < 4; ++i) {
      image.bytes[analysis.signature + i] = analysis.signature_value[i];
    }
    chunk_length_ = 4;
  }
  SendChunk();
}

void UpdateJob::SendChunk() {
  char text[64];
  std::snprintf(text, sizeof text, "Programming $%0X (%d bytes)...",
                static_cast<unsigned>(write_address_), static_cast<int>(chunk_length_));
  host_.AppendLog(text);
  NameRequest(state_ == UpdateState::kWriteSignature
                  ? Format("the program request for the signature at $%0X", write_address_)
                  : Format("the program request for $%0X", write_address_) + " (" +
                        std::to_string(chunk_length_) + " bytes)");

  const FirmwareImage& image = host_.UpdateImage();
  uint8_t pd[kMaxChunkLength + kProgramRequestOverhead];
  const size_t pdl = WriteProgramRequest(
      write_address_, std::span(image.bytes).subspan(write_address_, chunk_length_), pd);
  host_.SendToTarget(SET_COMMAND, PID_BOOTLOADER, pd, static_cast<uint8_t>(pdl));
  wait_ticks_ = kProgramWait;
  sent_count_ += static_cast<int32_t>(chunk_length_);
  host_.DrawProgressBar();
  host_.ReportProgress(Progress(write_address_));
}

UpdateProgress UpdateJob::Progress(uint32_t address) const {
  return UpdateProgress{sent_count_,    host_.UpdateImage().loaded_count,
                        address,        state_,
                        written_count_, program_total_};
}

void UpdateJob::Finish() {
  state_ = UpdateState::kStartUserProgram;
  wait_ticks_ = 0;
  retries_left_ = kBudget;
}

void UpdateJob::StartUserProgramStep() {
  NameRequest("the request to start the new application");
  start_sent_ = true;
  SendStartProgram();
  wait_ticks_ = kStartWait;
  host_.AppendLog("Starting user-program...");
  if (retries_left_ < kStartRequestsEnd) {
    End(UpdateOutcome::kStartUnanswered,
        std::string(UpdateOutcomeText(UpdateOutcome::kStartUnanswered)) +
            " The new firmware is written; the fixture may still be in its bootloader.",
        "Press Discover Node: if the fixture answers from its bootloader, run the update again.");
  }
}

void UpdateJob::VerifyStep() {
  if (!application_answered_) {
    if (verify_polls_left_ <= 0) {
      if (heard_bootloader_) {
        End(UpdateOutcome::kStaysInBootloader, UpdateOutcomeText(UpdateOutcome::kStaysInBootloader),
            host_.UpdateAnalysis().HasSignature()
                ? "Run the update again. If the fixture stays in its bootloader once more, check "
                  "that the file is meant for this fixture."
                : "The file has no application signature, so the bootloader does not start it. "
                  "Flash a signed firmware file.");
      } else {
        End(UpdateOutcome::kNoAnswerAfterStart,
            UpdateOutcomeText(UpdateOutcome::kNoAnswerAfterStart),
            "Check the fixture's power and the line, then press Discover Node. If the fixture "
            "answers from its bootloader, run the update again.");
      }
      return;
    }
    --verify_polls_left_;
    Send(DISCOVERY_COMMAND, DISC_UN_MUTE, nullptr, 0, 0);
    wait_ticks_ = kVerifyPollWait;
    return;
  }
  if (version_requests_left_ <= 0) {
    Succeed("The fixture answers from its new application (it did not tell its software version).");
    return;
  }
  --version_requests_left_;
  Send(GET_COMMAND, SOFTWARE_VERSION_LABEL, nullptr, 0, 0);
  wait_ticks_ = kVersionWait;
}

void UpdateJob::End(UpdateOutcome outcome, const std::string& what, const std::string& next) {
  state_ = UpdateState::kIdle;
  retries_left_ = 0;
  end_ = UpdateEnd{outcome, what, next};
  host_.AppendLog(what);
  host_.SetUpdateCaption(kIdleCaption);
  host_.ReportOutcome(outcome);
}

// Only an answer from the new application is a success: then, and only then, the line the
// operator waits for and the beep.
void UpdateJob::Succeed(const std::string& what) {
  host_.AppendLog("\r\n VERY WELL DONE !\r\n");
  host_.Beep();
  const std::string note = IncompleteFileNote(host_.UpdateImage().file_ending);
  End(UpdateOutcome::kSuccess, note.empty() ? what : what + " " + note,
      note.empty() ? "" : "Check that the fixture works as it should.");
}

void UpdateJob::SendStartProgram() {
  const uint8_t start = 0x01;
  Send(SET_COMMAND, IDENTIFY_DEVICE, &start, 1, 0);
}

void UpdateJob::Send(uint8_t command_class, uint16_t pid, const uint8_t* data, uint8_t pdl,
                     uint32_t address) {
  host_.SendToTarget(command_class, pid, data, pdl);
  host_.ReportProgress(Progress(address));
}

void UpdateJob::OnReply(const RdmFrameView& frame) {
  // Each row asks whether the frame answers one of the procedure's requests to the target; only
  // an ACK acknowledges one.
  const RdmUid& target = host_.TargetUid();
  if (const ResponseCheck start = CheckResponse({target, SET_COMMAND, IDENTIFY_DEVICE}, frame);
      start.Answers()) {
    OnStartAnswer(start);
    return;
  }
  if (const ResponseCheck label =
          CheckResponse({target, GET_COMMAND, SOFTWARE_VERSION_LABEL}, frame);
      label.Answers()) {
    OnVersionLabel(frame, label);
    return;
  }
  // The control field is the first two data bytes; a fixture may add its binding UID (PDL 8).
  if (CheckResponse({target, DISCOVERY_COMMAND, DISC_UN_MUTE}, frame).Acknowledged()) {
    if ((frame.pdl() == 2 || frame.pdl() == 8) && frame.data().size() >= 2) {
      OnControlField(frame.data()[1]);
    }
    return;
  }
  OnBootloaderAnswer(frame);
}

void UpdateJob::OnBootloaderAnswer(const RdmFrameView& frame) {
  // The bootloader answers an erase as E1.20 answers a SET, but echoes a program request as a
  // GET_COMMAND_RESPONSE: the echo is checked as the answer to a GET.
  const RdmUid& target = host_.TargetUid();
  const ResponseCheck erase = CheckResponse({target, SET_COMMAND, PID_BOOTLOADER}, frame);
  const ResponseCheck echo = CheckResponse({target, GET_COMMAND, PID_BOOTLOADER}, frame);
  const ResponseCheck& check = erase.Answers() ? erase : echo;
  if (!check.Answers() || state_ == UpdateState::kIdle) {
    return;
  }
  const bool programming =
      state_ == UpdateState::kProgramChunks || state_ == UpdateState::kWriteSignature;
  if (check.kind == ResponseKind::kNack) {
    LogRefusal(check);  // the request goes again after its wait
    return;
  }
  if (!check.Acknowledged()) {
    if ((state_ == UpdateState::kEraseBlocks && erase.Answers()) || programming) {
      OnAnswerPutOff(check);
    }
    return;
  }
  const std::span<const uint8_t> pd = frame.data();
  if (erase.Answers() && frame.pdl() == 2 && pd.size() >= 2 && pd[0] == BOOT_SYNC &&
      pd[1] == BOOT_ERASE) {
    OnEraseAcknowledged();
  } else if (echo.Answers() && frame.pdl() == chunk_length_ + 12 &&
             pd.size() >= chunk_length_ + 8 && pd[0] == BOOT_SYNC && pd[1] == BOOT_PROGRAM &&
             EchoMatchesChunk(pd)) {
    write_address_ += chunk_length_;
    written_count_ += chunk_length_;
    retries_left_ = kBudget;
    wait_ticks_ = 0;
  }
}

void UpdateJob::OnEraseAcknowledged() {
  host_.Beep();
  ErasePlan& plan = host_.UpdateErasePlan();
  if (plan.erase_count <= 1) {
    --plan.erase_count;
    state_ = UpdateState::kStartProgramming;
  } else {
    plan.DropFirst();  // lowers erase_count by one
    retries_left_ = kBudget;
  }
  wait_ticks_ = 0;
}

void UpdateJob::OnStartAnswer(const ResponseCheck& check) {
  // The identify commands get the same answer; during an update only a started application
  // beeps.
  if (check.Acknowledged() && !running()) {
    host_.Beep();
  }
  if (state_ != UpdateState::kStartUserProgram) {
    return;
  }
  if (check.kind == ResponseKind::kNack) {
    // The reason goes inside the sentence, before its full stop.
    std::string text = UpdateOutcomeText(UpdateOutcome::kStartRefused);
    text.insert(text.size() - 1, std::string(" (") + NackReasonName(check.nack_reason) + ")");
    End(UpdateOutcome::kStartRefused,
        text + " The new firmware is written; the fixture is still in its bootloader.",
        "Run the update again. If the bootloader refuses again, the fixture needs service.");
    return;
  }
  if (!check.Acknowledged()) {
    OnAnswerPutOff(check);  // not a start: the request goes again
    return;
  }
  host_.AppendLog("The bootloader acknowledged the start; waiting for the new application...");
  // An acknowledged start is not yet a started application: poll until it answers.
  state_ = UpdateState::kVerifyStart;
  verify_polls_left_ = kVerifyPolls;
  heard_bootloader_ = false;
  application_answered_ = false;
  wait_ticks_ = kVerifyFirstWait;
}

void UpdateJob::OnVersionLabel(const RdmFrameView& frame, const ResponseCheck& check) {
  if (state_ != UpdateState::kVerifyStart || !application_answered_) {
    return;
  }
  if (check.Acknowledged()) {
    started_version_ = FixtureTextOf(frame.data());
    // The log shows the label as the window does: valid UTF-8 without control characters.
    Succeed("The fixture answers from its new application, software version \"" +
            WindowText(started_version_) + "\".");
  } else if (check.kind == ResponseKind::kNack) {
    Succeed(
        "The fixture answers from its new application (it refused to tell "
        "its software version: " +
        NackReasonName(check.nack_reason) + ").");
  } else {
    OnAnswerPutOff(check);
  }
}

void UpdateJob::OnAnswerPutOff(const ResponseCheck& check) {
  const char* who = state_ == UpdateState::kVerifyStart ? "fixture" : "bootloader";
  const char* request = state_ == UpdateState::kEraseBlocks        ? "erase"
                        : state_ == UpdateState::kStartUserProgram ? "start"
                        : state_ == UpdateState::kVerifyStart      ? "software version"
                                                                   : "program";
  if (check.kind != ResponseKind::kAckTimer) {
    host_.AppendLog(std::string("The ") + who + " answered the " + request +
                    " request with ACK_OVERFLOW, which acknowledges nothing.");
    return;
  }
  const uint32_t ticks = std::clamp(check.delay_ms / kMsPerTick, kLeastAckTimerWait, kLongestWait);
  wait_ticks_ = static_cast<int16_t>(ticks);
  char text[160];
  std::snprintf(text, sizeof text,
                "The %s put off the %s request (ACK_TIMER, %.1f s); it is sent again after %.1f s.",
                who, request, check.delay_ms / 1000.0, ticks * kMsPerTick / 1000.0);
  host_.AppendLog(text);
}

void UpdateJob::LogRefusal(const ResponseCheck& check) {
  const char* what =
      state_ == UpdateState::kEraseBlocks ? "erase"
      : state_ == UpdateState::kProgramChunks || state_ == UpdateState::kWriteSignature
          ? "program"
          : "bootloader";
  host_.AppendLog(std::string("The bootloader refused the ") + what + " request (" +
                  NackReasonName(check.nack_reason) + ").");
}

void UpdateJob::OnControlField(uint8_t control) {
  if (state_ == UpdateState::kVerifyStart) {
    if ((control & kControlBootLoader) == 0) {
      if (!application_answered_) {
        application_answered_ = true;
        version_requests_left_ = kVersionRequests;
        wait_ticks_ = 0;  // the version request goes out on this tick's step
      }
    } else {
      heard_bootloader_ = true;
    }
    return;
  }
  if (state_ != UpdateState::kFindBootloader) {
    return;
  }
  if (control == 0) {
    // The application answered: tell it to enter its bootloader on this very tick.
    state_ = UpdateState::kEnterBootloader;
    wait_ticks_ = 0;
    return;
  }
  if ((control & kControlBootLoader) == 0) {
    return;
  }
  found_bootloader_ = true;
  if ((control & kControlLowBootLoader) == 0) {
    state_ = UpdateState::kEraseBlocks;
    retries_left_ = kEraseBudget;
    wait_ticks_ = 0;
    return;
  }
  host_.AppendLog("Low Bootloader Detected!");
  if (host_.UpdateErasePlan().erase_list[0] >= kFlashNewBootloaderFrom) {
    // No transition: the polls go on until the attempt budget ends the update.
    host_.AppendLog("Flashing new BootLoader...");
    return;
  }
  host_.AppendLog("Trying to jump into BootLoader...");
  SendStartProgram();
  wait_ticks_ = kStartWait;
}

// The echo must name the chunk that is waiting for it: its address (with the program flag) and
// length as well as its bytes. A late echo of a chunk that was sent again, arriving after the
// chunk was already acknowledged, carries the same bytes when the image repeats itself; taken as
// the next chunk's acknowledgement it would skip that chunk and end in a success over flash that
// was never programmed.
bool UpdateJob::EchoMatchesChunk(std::span<const uint8_t> pd) const {
  if (write_address_ + chunk_length_ > kImageSize) {
    return false;
  }
  const FirmwareImage& image = host_.UpdateImage();
  return ProgramEchoMatches(pd, write_address_,
                            std::span(image.bytes).subspan(write_address_, chunk_length_));
}

}  // namespace quillmont
