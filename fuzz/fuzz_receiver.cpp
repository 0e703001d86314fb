// SPDX-License-Identifier: Apache-2.0
// Any bytes from the line into the tick's receiver, with a device known and the update
// procedure in a state the input picks, so that every good frame also goes through
// UpdateJob::OnReply. Input: byte 0 the update state (its top bit set: the receiver also reads
// between ticks, as under the event pacing), byte 1 the chunk length (even, 0 to 192), bytes 2
// and 3 the write address; the rest arrives on the line at once.
//
// Invariants: the receiver never holds more than its 256 bytes, the procedure's state and
// address stay inside their ranges, and after any input the receiver is still receiving: once
// 256 zero bytes have flushed whatever frame the input left open, a good DMX_START_ADDRESS reply
// is acted on.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "rdm/message.h"
#include "support/window_harness.h"

namespace {

using quillmont::testing::ScriptedWindowHarness;

constexpr size_t kHeader = 4;
constexpr int64_t kMaxTicks = 20000;

void CheckWindow(const ScriptedWindowHarness& h) {
  FUZZ_CHECK(h.window.rx_length >= -1 && h.window.rx_length <= 256);
  FUZZ_CHECK(h.window.job.state() >= quillmont::UpdateState::kIdle &&
             h.window.job.state() <= quillmont::UpdateState::kVerifyStart);
  FUZZ_CHECK(h.window.job.write_address() <= quillmont::kImageSize);
  FUZZ_CHECK(h.window.erase_plan.erase_count <= quillmont::ErasePlan::kCapacity);
}

// Runs ticks until every delivered byte has been read, at most two per byte and a few more.
void RunUntilRead(ScriptedWindowHarness& h) {
  const int64_t limit =
      std::min<int64_t>(2 * static_cast<int64_t>(h.driver.Pending()) + 8, kMaxTicks);
  for (int64_t i = 0; i < limit && h.driver.Pending() > 0; ++i) {
    if (h.window.receive_between_ticks) {
      h.window.OnLineReadable();
      CheckWindow(h);
    }
    h.Ticks(1);
    CheckWindow(h);
  }
  FUZZ_CHECK(h.driver.Pending() == 0);
  h.Ticks(2);
  CheckWindow(h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillmont;
  if (size < kHeader) {
    return 0;
  }
  ScriptedWindowHarness h;
  h.Init();
  h.Ticks(1);  // opens the adapter
  FUZZ_CHECK(h.window.link != nullptr);
  h.window.device_found = 1;
  h.window.target_uid = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};  // replies from others are refused
  h.window.receive_between_ticks = (data[0] & 0x80) != 0;

  // A small image to program: 0x4000 to 0x40FF loaded, and an erase plan of two blocks.
  for (uint32_t a = 0x4000; a < 0x4100; ++a) {
    h.window.image.bytes[a] = static_cast<uint8_t>(a * 7);
    h.window.image.loaded[a] = 1;
  }
  h.window.image.loaded_count = 0x100;
  h.window.analysis.code_begin = 0x4000;
  h.window.analysis.code_end = 0x40FF;
  h.window.erase_plan.erase_list[0] = 0x4000;
  h.window.erase_plan.erase_list[1] = 0x8000;
  h.window.erase_plan.erase_count = 2;

  const uint32_t chunk_length = (data[1] % 97u) * 2u;
  h.window.job.ResumeAt(
      static_cast<UpdateState>(data[0] % 8),
      (static_cast<uint32_t>(data[2]) << 10 | static_cast<uint32_t>(data[3]) << 2) %
          (kImageSize - chunk_length + 1),
      chunk_length);

  h.driver.Deliver(std::vector<uint8_t>(data + kHeader, data + size));
  RunUntilRead(h);

  // Still receiving: flush any open frame, then a good reply must be acted on.
  h.window.dmx_address_text = "none";
  h.driver.Deliver(std::vector<uint8_t>(256, 0x00));
  h.driver.Deliver(testing::ResponseFrame({0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78},
                                          GET_COMMAND_RESPONSE, DMX_START_ADDRESS, {0x12, 0x34}));
  RunUntilRead(h);
  FUZZ_CHECK(h.window.dmx_address_text == "4660");
  return 0;
}
