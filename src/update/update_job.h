// SPDX-License-Identifier: Apache-2.0
// The bootloader update procedure: a state machine driven by the window's 10 ms tick. The tick
// hands it every good response frame (OnReply) and lets it take one step at the end of every
// tick (Step). Nothing blocks: a step sends at most one request and sets a number of ticks to
// wait; a matching reply cuts the wait short. It reaches the window only through its
// UpdateHost; only the job itself writes its fields.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/result.h"
#include "rdm/frame_view.h"
#include "rdm/response_check.h"
#include "update/update_host.h"
#include "update/update_state.h"
#include "update/word_sum_checksum.h"

namespace quillmont {

class UpdateJob {
 public:
  // The attempts a start gives the first poll, and the Update button's caption while no update
  // runs and while one does.
  static constexpr int16_t kStartBudget = 5;
  static constexpr const char* kIdleCaption = "Update Firmware";
  static constexpr const char* kRunningCaption = "Abort Operation";

  explicit UpdateJob(UpdateHost& host) : host_(host) {}
  UpdateJob(const UpdateJob&) = delete;
  UpdateJob& operator=(const UpdateJob&) = delete;

  // Start-up: no update, no wait, no attempts, no chunk.
  void Reset();
  // Begins an update with the host's image, analysis and plan: the caption reads "Abort
  // Operation" and the first acting step polls for the bootloader. Refused, with nothing sent and
  // nothing changed, when a chunk would program flash that the plan does not erase.
  Status Start();
  // The operator's abort: idle at once, nothing sent; the wait left over is not changed.
  void Abort();
  // The adapter went away: a running update ends at once (nothing more can reach the fixture),
  // told with the step it cut off and the state the fixture is left in.
  void OnLinkLost();

  // Puts a run in `state` with a chunk of `chunk_length` bytes at `write_address` outstanding
  // and a fresh attempt budget, as if the procedure had got there itself: for checks that every
  // reply in every state stays within its bounds (the receiver's fuzzer). The length is made
  // even and at most a chunk, the address keeps the chunk inside the image.
  void ResumeAt(UpdateState state, uint32_t write_address, uint32_t chunk_length);

  // One step, at the end of every tick.
  void Step();
  // A complete response frame whose length and checksum the tick has accepted.
  void OnReply(const RdmFrameView& frame);

  UpdateState state() const { return state_; }
  bool running() const { return state_ != UpdateState::kIdle; }
  int16_t wait_ticks() const { return wait_ticks_; }
  int16_t retries_left() const { return retries_left_; }
  uint32_t write_address() const { return write_address_; }
  uint32_t chunk_length() const { return chunk_length_; }
  int32_t sent_count() const { return sent_count_; }
  // Image bytes of acknowledged program requests, each chunk once, and of all the update programs
  // (the signature included): the two are equal once the last chunk, the signature, is written.
  int64_t written_count() const { return written_count_; }
  int64_t program_total() const { return program_total_; }
  // The software version label the new application told after the start, as the fixture sent it
  // ("" until it did).
  const std::string& started_version() const { return started_version_; }
  // How the last update ended, for people; set before its outcome is reported.
  const UpdateEnd& end() const { return end_; }

 private:
  // The state handlers, in the order a step runs them. FindBootloaderStep returns false when
  // the step ends there.
  bool FindBootloaderStep();
  void EnterBootloaderStep();
  void EraseBlocksStep();
  void StartProgrammingStep();
  void ProgramStep();
  void StartUserProgramStep();
  void VerifyStep();

  void SendChunk();
  UpdateProgress Progress(uint32_t address) const;
  void Finish();
  // Idle, the caption, a log line that tells how the update ended, and the outcome.
  void End(UpdateOutcome outcome, const std::string& what, const std::string& next = "");
  // The new application answered: the success line, the beep, and the end.
  void Succeed(const std::string& what);
  // The ends that cut the procedure off: an exhausted budget, the operator, a lost adapter.
  void EndCutOff(UpdateOutcome outcome);
  // What the procedure is doing now ("erasing block $4000"), and in which state it leaves the
  // fixture if it ends here.
  std::string StepText() const;
  std::string FixtureLeftText() const;
  // Whether anything was sent that changes the fixture (its bootloader entered, its flash).
  bool FixtureTouched() const { return enter_sent_ || found_bootloader_; }
  // Names the request just sent, for an end that tells which went unanswered.
  void NameRequest(std::string request);
  // The rows of OnReply: the answers to the start and version requests, and to the
  // bootloader's erase and program requests.
  void OnStartAnswer(const ResponseCheck& check);
  void OnVersionLabel(const RdmFrameView& frame, const ResponseCheck& check);
  void OnBootloaderAnswer(const RdmFrameView& frame);
  void OnEraseAcknowledged();
  // An ACK_TIMER or ACK_OVERFLOW to the request the procedure waits for: neither acknowledges
  // it, so the request goes again after its wait, within its attempts. An ACK_TIMER makes the
  // wait the delay it tells (100 ms to 3 s). Told in the log.
  void OnAnswerPutOff(const ResponseCheck& check);
  // A NACK from the bootloader to one of its requests, told in the log with its reason.
  void LogRefusal(const ResponseCheck& check);
  void SendStartProgram();
  void Send(uint8_t command_class, uint16_t pid, const uint8_t* data, uint8_t pdl,
            uint32_t address);
  void OnControlField(uint8_t control);
  // Whether a program echo (its parameter data) names and holds the chunk last sent.
  bool EchoMatchesChunk(std::span<const uint8_t> pd) const;

  UpdateHost& host_;
  UpdateState state_ = UpdateState::kIdle;
  int16_t wait_ticks_ = 0;
  int16_t retries_left_ = 0;
  uint32_t write_address_ = 0;
  uint32_t chunk_length_ = 0;
  int32_t sent_count_ = 0;
  int64_t written_count_ = 0;
  int64_t program_total_ = 0;

  // The verification after the start: polls left, whether the bootloader answered one of them,
  // whether the application did, the version requests left, and the version it told.
  int16_t verify_polls_left_ = 0;
  bool heard_bootloader_ = false;
  bool application_answered_ = false;
  int16_t version_requests_left_ = 0;
  std::string started_version_;

  // How far this run has taken the fixture, and the last request sent and how often in a row.
  bool enter_sent_ = false;
  bool found_bootloader_ = false;
  bool erase_sent_ = false;
  bool start_sent_ = false;
  std::string request_;
  int request_sends_ = 0;
  UpdateEnd end_;
};

// The sentence that tells how an update ended, for the log and for people.
const char* UpdateOutcomeText(UpdateOutcome outcome);

// What a success adds when the file was not whole (no end record, or a count that disagrees): ""
// for a whole file.
std::string IncompleteFileNote(FileEnding ending);

// The most ticks an update of `chunks` program requests and `erases` blocks may take: every
// request with all its attempts at the procedure's longest wait, the verification after the
// start, and a margin. The procedure's own budgets end it long before; a front end that pumps
// ticks until the update ends needs no more. Follows the waits and budgets above as they change.
int64_t UpdateTickBound(int64_t chunks, int64_t erases);

}  // namespace quillmont
