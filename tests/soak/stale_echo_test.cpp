// SPDX-License-Identifier: Apache-2.0
// A late echo of a chunk that was sent again must not acknowledge the chunk after it, even when
// both chunks hold the same bytes (a run of zeros): taken as such it would skip a chunk and end
// in a success over flash that was never programmed. Found by the soak: noise held three echoes
// of one chunk back in the adapter until after its first echo had moved programming on.
#include <gtest/gtest.h>

#include <vector>

#include "rdm/frame_view.h"
#include "rdm/message.h"
#include "support/window_harness.h"

namespace quillmont {
namespace {

using testing::ResponseFrame;

class StaleEchoTest : public ::testing::Test, public testing::ScriptedWindowHarness {
 protected:
  StaleEchoTest() {
    for (uint32_t a = 0x4000; a < 0x4000 + 3 * 192; ++a) {
      window.image.bytes[a] = 0x00;
      window.image.loaded[a] = 1;
    }
    window.image.loaded_count = 3 * 192;
    window.analysis.code_begin = 0x4000;
    window.analysis.code_end = 0x4000 + 3 * 192 - 1;
    window.erase_plan.erase_list[0] = 0x4000;
    window.erase_plan.erase_count = 1;
    window.device_found = 1;
    window.target_uid = kUid;  // the fixture whose echoes these are
    // Into programming as a bootloader takes it: a poll, its control field with the Boot-Loader
    // flag, then the erase of the block at 0x4000 and its acknowledgement.
    EXPECT_TRUE(window.job.Start());
    window.job.Step();
    Reply(
        ResponseFrame(kUid, DISCOVERY_COMMAND_RESPONSE, DISC_UN_MUTE, {0x00, kControlBootLoader}));
    window.job.Step();
    Reply(ResponseFrame(kUid, SET_COMMAND_RESPONSE, PID_BOOTLOADER, {BOOT_SYNC, BOOT_ERASE}));
  }
  static constexpr RdmUid kUid = {0x4F, 0x4C, 0x12, 0x34, 0x56, 0x78};

  // The fixture's echo of a program request for `address`: 55 A4, the flagged address, the
  // length, the bytes, and a checksum that is not examined.
  std::vector<uint8_t> Echo(uint32_t address, uint32_t length = 192) {
    const uint32_t flagged = address | 0x80000000u;
    std::vector<uint8_t> pd = {0x55,
                               0xA4,
                               static_cast<uint8_t>(flagged >> 24),
                               static_cast<uint8_t>(flagged >> 16),
                               static_cast<uint8_t>(flagged >> 8),
                               static_cast<uint8_t>(flagged),
                               static_cast<uint8_t>(length >> 8),
                               static_cast<uint8_t>(length)};
    pd.resize(8 + length, 0x00);
    pd.insert(pd.end(), {0, 0, 0, 0});
    return ResponseFrame(kUid, GET_COMMAND_RESPONSE, PID_BOOTLOADER, pd);
  }

  void Reply(const std::vector<uint8_t>& frame) { window.job.OnReply(*RdmFrameView::Of(frame)); }
};

TEST_F(StaleEchoTest, OnlyTheEchoOfTheChunkSentMovesProgrammingOn) {
  window.job.Step();  // sends the chunk at 0x4000
  ASSERT_EQ(window.job.write_address(), 0x4000u);
  ASSERT_EQ(window.job.chunk_length(), 192u);

  Reply(Echo(0x4000));
  EXPECT_EQ(window.job.write_address(), 0x40C0u);
  window.job.Step();  // sends the chunk at 0x40C0

  // Late echoes of the chunk at 0x4000 hold the same 192 zero bytes.
  Reply(Echo(0x4000));
  Reply(Echo(0x4000));
  EXPECT_EQ(window.job.write_address(), 0x40C0u);

  // An echo that names the right address but another length is not this chunk's either.
  Reply(Echo(0x40C0, 190));
  EXPECT_EQ(window.job.write_address(), 0x40C0u);

  Reply(Echo(0x40C0));
  EXPECT_EQ(window.job.write_address(), 0x4180u);
}

}  // namespace
}  // namespace quillmont
