#include "update/update_job.h"

#include <cstdio>
#include <string>

#include "app/control_ids.h"
#include "app/updater_window.h"
#include "rdm/message.h"
#include "rdm/request.h"
#include "update/chunk_choice.h"

namespace quillmont {
namespace {

// Waits, in ticks, after each request.
constexpr int16_t kPollWait = 50;
constexpr int16_t kEnterWait = 20;
constexpr int16_t kEraseWait = 300;
constexpr int16_t kProgramWait = 100;
constexpr int16_t kStartWait = 20;

// Attempt budgets.
constexpr int16_t kBudget = 5;
constexpr int16_t kEraseBudget = 6;
// In EraseBlocks, an acting step that finds this many attempts left falls back to entering
// the bootloader again.
constexpr int16_t kEraseFallBack = 3;
// StartUserProgram ends the procedure once fewer attempts than this are left.
constexpr int16_t kStartRequestsEnd = 4;

constexpr uint32_t kFlashNewBootloaderFrom = 0xE000;

constexpr const char* kIdleCaption = "Update Firmware";

std::string Format(const char* format, unsigned value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

void UpdateJob::Step() {
  if (wait_ticks >= 1) {
    --wait_ticks;
    return;
  }
  if (update_state == Idle) {
    return;
  }
  if (retries_left >= 1) {
    --retries_left;
    if (retries_left == 0) {
      update_state = Idle;
      window_.AppendLog("\r\nOperation ABORTED !  :-(\r\n");
      window_.port().SetControlText(kUpdateButton, kIdleCaption);
      return;
    }
  }
  // Each handler runs when the state holds its value as it is reached, so a move to a later
  // state goes on within this step and a move to an earlier one waits for the next.
  if (update_state == FindBootloader && !FindBootloaderStep()) {
    return;
  }
  if (update_state == EnterBootloader) {
    EnterBootloaderStep();
  }
  if (update_state == EraseBlocks) {
    EraseBlocksStep();
  }
  if (update_state == StartProgramming) {
    StartProgrammingStep();
  }
  if (update_state == ProgramChunks || update_state == WriteSignature) {
    ProgramStep();
  }
  if (update_state == StartUserProgram) {
    StartUserProgramStep();
  }
}

bool UpdateJob::FindBootloaderStep() {
  if (window_.device_found == 0) {
    // Cleared before the box opens: the ticks that run inside it find nothing to do.
    update_state = Idle;
    retries_left = 0;
    window_.port().SetControlText(kUpdateButton, kIdleCaption);
    window_.port().ShowMessageBox("No devices connected");
    return false;
  }
  Send(DISCOVERY_COMMAND, DISC_UN_MUTE, nullptr, 0);
  wait_ticks = kPollWait;
  window_.AppendLog("Looking for bootloader...");
  return true;
}

void UpdateJob::EnterBootloaderStep() {
  const uint8_t enter[2] = {BOOT_SYNC, BOOT_ENTER};
  Send(SET_COMMAND, PID_BOOTLOADER, enter, sizeof enter);
  window_.AppendLog("Entering bootloader...");
  wait_ticks = kEnterWait;
  update_state = FindBootloader;
}

void UpdateJob::EraseBlocksStep() {
  if (retries_left == kEraseFallBack) {
    update_state = EnterBootloader;
    return;
  }
  const ErasePlan& plan = window_.erase_plan;
  if (plan.erase_count <= 0) {
    update_state = StartProgramming;
    return;
  }
  const uint32_t address = plan.erase_list[0];
  uint8_t pd[10] = {BOOT_SYNC,
                    BOOT_ERASE,
                    static_cast<uint8_t>(address >> 24),
                    static_cast<uint8_t>(address >> 16),
                    static_cast<uint8_t>(address >> 8),
                    static_cast<uint8_t>(address)};
  WordSumChecksum(pd, 3);
  Send(SET_COMMAND, PID_BOOTLOADER, pd, sizeof pd);
  wait_ticks = kEraseWait;
  window_.AppendLog(Format("Erasing block $%0X...", address));
}

void UpdateJob::StartProgrammingStep() {
  write_address = 0;
  sent_count = 0;
  retries_left = kBudget;
  update_state = ProgramChunks;
}

void UpdateJob::ProgramStep() {
  const ImageAnalysis& analysis = window_.analysis;
  const uint32_t end = ProgramEnd(window_.image, analysis);
  if (update_state == ProgramChunks && write_address > end) {
    update_state = WriteSignature;
  }
  if (update_state == ProgramChunks) {
    const ChunkChoice choice =
        ChooseNextChunk(window_.image, write_address, end, analysis.signature);
    write_address = choice.address;
    if (choice.finished) {
      Finish();
      return;
    }
    chunk_length = choice.length;
  } else {
    if (analysis.signature == 0 || write_address == analysis.signature + 4) {
      Finish();
      return;
    }
    write_address = analysis.signature;
    for (uint32_t i = 0; i < 4; ++i) {
      window_.image.bytes[analysis.signature + i] = analysis.signature_value[i];
    }
    chunk_length = 4;
  }
  SendChunk();
}

void UpdateJob::SendChunk() {
  char text[64];
  std::snprintf(text, sizeof text, "Programming $%0X (%d bytes)...",
                static_cast<unsigned>(write_address), static_cast<int>(chunk_length));
  window_.AppendLog(text);

  uint8_t pd[kMaxChunkLength + 12];
  const uint32_t flagged = write_address | 0x80000000u;
  pd[0] = BOOT_SYNC;
  pd[1] = BOOT_PROGRAM;
  pd[2] = static_cast<uint8_t>(flagged >> 24);
  pd[3] = static_cast<uint8_t>(flagged >> 16);
  pd[4] = static_cast<uint8_t>(flagged >> 8);
  pd[5] = static_cast<uint8_t>(flagged);
  pd[6] = static_cast<uint8_t>(chunk_length >> 8);
  pd[7] = static_cast<uint8_t>(chunk_length);
  for (uint32_t i = 0; i < chunk_length; ++i) {
    pd[8 + i] = window_.image.bytes[write_address + i];
  }
  WordSumChecksum(pd, static_cast<int16_t>(chunk_length / 2 + 4));
  Send(SET_COMMAND, PID_BOOTLOADER, pd, static_cast<uint8_t>(chunk_length + 12));
  wait_ticks = kProgramWait;
  sent_count += static_cast<int32_t>(chunk_length);
  window_.DrawProgressBar();
}

void UpdateJob::Finish() {
  update_state = StartUserProgram;
  wait_ticks = 0;
  retries_left = kBudget;
}

void UpdateJob::StartUserProgramStep() {
  SendStartProgram();
  wait_ticks = kStartWait;
  window_.AppendLog("Starting user-program...");
  if (retries_left < kStartRequestsEnd) {
    update_state = Idle;
    window_.port().SetControlText(kUpdateButton, kIdleCaption);
  }
}

void UpdateJob::SendStartProgram() {
  const uint8_t start = 0x01;
  Send(SET_COMMAND, IDENTIFY_DEVICE, &start, 1);
}

void UpdateJob::Send(uint8_t command_class, uint16_t pid, const uint8_t* data, uint8_t pdl) {
  SendRdmRequest(window_.line_io(), window_.link, window_.target_uid, data, pdl, 0, command_class,
                 pid);
}

void UpdateJob::OnReply(const uint8_t* frame, int16_t size) {
  if (size < static_cast<int16_t>(kRdmFrameOverhead)) {
    return;
  }
  const uint8_t command_class = frame[kOffsetCommandClass];
  const uint16_t pid = static_cast<uint16_t>(frame[kOffsetPid] << 8 | frame[kOffsetPid + 1]);
  const uint8_t pdl = frame[kOffsetPdl];
  const uint8_t* pd = frame + kOffsetParameterData;
  // The parameter data bytes that the frame really holds; a row never reads past them.
  const int pd_held = size - static_cast<int>(kRdmFrameOverhead);

  if (command_class == SET_COMMAND_RESPONSE && pid == IDENTIFY_DEVICE) {
    window_.port().Beep();
    if (update_state == StartUserProgram) {
      update_state = Idle;
      window_.AppendLog("\r\n VERY WELL DONE !\r\n");
      window_.port().SetControlText(kUpdateButton, kIdleCaption);
    }
    return;
  }

  if (command_class == DISCOVERY_COMMAND_RESPONSE && pid == DISC_UN_MUTE && pdl == 2 &&
      pd_held >= 2) {
    OnControlField(pd[1]);
    return;
  }

  if (command_class == SET_COMMAND_RESPONSE && pid == PID_BOOTLOADER && pdl == 2 && pd_held >= 2 &&
      pd[0] == BOOT_SYNC && pd[1] == BOOT_ERASE && update_state != Idle) {
    window_.port().Beep();
    ErasePlan& plan = window_.erase_plan;
    if (plan.erase_count <= 1) {
      --plan.erase_count;
      update_state = StartProgramming;
    } else {
      plan.DropFirst();  // lowers erase_count by one
      retries_left = kBudget;
    }
    wait_ticks = 0;
    return;
  }

  if (command_class == GET_COMMAND_RESPONSE && pid == PID_BOOTLOADER && pdl == chunk_length + 12 &&
      pd_held >= static_cast<int>(chunk_length) + 8 && pd[0] == BOOT_SYNC &&
      pd[1] == BOOT_PROGRAM && update_state != Idle && EchoMatchesChunk(pd)) {
    write_address += chunk_length;
    retries_left = kBudget;
    wait_ticks = 0;
  }
}

void UpdateJob::OnControlField(uint8_t control) {
  if (update_state != FindBootloader) {
    return;
  }
  if (control == 0) {
    // The application answered: tell it to enter its bootloader on this very tick.
    update_state = EnterBootloader;
    wait_ticks = 0;
    return;
  }
  if ((control & kControlBootLoader) == 0) {
    return;
  }
  if ((control & kControlLowBootLoader) == 0) {
    update_state = EraseBlocks;
    retries_left = kEraseBudget;
    wait_ticks = 0;
    return;
  }
  window_.AppendLog("Low Bootloader Detected!");
  if (window_.erase_plan.erase_list[0] >= kFlashNewBootloaderFrom) {
    // No transition: the polls go on until the attempt budget ends the update.
    window_.AppendLog("Flashing new BootLoader...");
    return;
  }
  window_.AppendLog("Trying to jump into BootLoader...");
  SendStartProgram();
  wait_ticks = kStartWait;
}

// The echo must name the chunk that is waiting for it: its address (with the program flag) and
// length as well as its bytes. A late echo of a chunk that was sent again, arriving after the
// chunk was already acknowledged, carries the same bytes when the image repeats itself; taken as
// the next chunk's acknowledgement it would skip that chunk and end in a success over flash that
// was never programmed.
bool UpdateJob::EchoMatchesChunk(const uint8_t* pd) const {
  if (write_address + chunk_length > kImageSize) {
    return false;
  }
  const uint32_t flagged = write_address | 0x80000000u;
  const uint8_t header[6] = {
      static_cast<uint8_t>(flagged >> 24),     static_cast<uint8_t>(flagged >> 16),
      static_cast<uint8_t>(flagged >> 8),      static_cast<uint8_t>(flagged),
      static_cast<uint8_t>(chunk_length >> 8), static_cast<uint8_t>(chunk_length)};
  for (size_t i = 0; i < sizeof header; ++i) {
    if (pd[2 + i] != header[i]) {
      return false;
    }
  }
  const uint8_t* echoed = pd + 8;
  for (uint32_t i = 0; i < chunk_length; ++i) {
    if (echoed[i] != window_.image.bytes[write_address + i]) {
      return false;
    }
  }
  return true;
}

}  // namespace quillmont
