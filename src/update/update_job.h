// The bootloader update procedure: a state machine driven by the window's 10 ms tick. The tick
// hands it every good response frame (OnReply) and lets it take one step at the end of every
// tick (Step). Nothing blocks: a step sends at most one request and sets a number of ticks to
// wait; a matching reply cuts the wait short.
#pragma once

#include <cstdint>

#include "update/word_sum_checksum.h"

namespace quillmont {

class UpdaterWindow;

enum UpdateState : int16_t {
  Idle = 0,
  FindBootloader = 1,
  EnterBootloader = 2,
  EraseBlocks = 3,
  StartProgramming = 4,
  ProgramChunks = 5,
  WriteSignature = 6,
  StartUserProgram = 7,
};

class UpdateJob {
 public:
  explicit UpdateJob(UpdaterWindow& window) : window_(window) {}

  // One step, at the end of every tick.
  void Step();
  // A complete response frame of `size` bytes whose checksum the tick has accepted.
  void OnReply(const uint8_t* frame, int16_t size);

  int16_t update_state = Idle;
  int16_t wait_ticks = 0;
  int16_t retries_left = 0;
  uint32_t write_address = 0;
  uint32_t chunk_length = 0;
  int32_t sent_count = 0;

 private:
  // The state handlers, in the order a step runs them. FindBootloaderStep returns false when
  // the step ends there.
  bool FindBootloaderStep();
  void EnterBootloaderStep();
  void EraseBlocksStep();
  void StartProgrammingStep();
  void ProgramStep();
  void StartUserProgramStep();

  void SendChunk();
  void Finish();
  void SendStartProgram();
  void Send(uint8_t command_class, uint16_t pid, const uint8_t* data, uint8_t pdl);
  void OnControlField(uint8_t control);
  // Whether a program echo (its parameter data) names and holds the chunk last sent.
  bool EchoMatchesChunk(const uint8_t* pd) const;

  UpdaterWindow& window_;
};

}  // namespace quillmont
