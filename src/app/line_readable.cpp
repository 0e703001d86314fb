// SPDX-License-Identifier: Apache-2.0
// The receiver between ticks, for the event pacing: it reads only what already waits in the
// adapter's receive queue, never sleeps, and hands a complete good reply to the same dispatch
// as the tick's.
#include <algorithm>

#include "app/updater_window.h"
#include "rdm/message.h"

namespace quillmont {
namespace {

// Reads (or bytes dropped before a start code) in one call; what is left waits for the next.
constexpr int kMaxReceivePasses = 600;

}  // namespace

void UpdaterWindow::OnLineReadable() {
  if (busy != 0 || link == nullptr || device_found == 0) {
    return;
  }
  busy = 1;
  const int16_t wait_before = job.wait_ticks();
  // A reply that ended the job's wait lets it take its next step now rather than at the next
  // tick; this step is the one that tick would have taken, and a wait still running is left
  // alone for the ticks to count.
  if (ReceiveWaitingBytes() && job.running() && wait_before > 0 && job.wait_ticks() == 0) {
    job.Step();
  }
  busy = 0;
}

bool UpdaterWindow::WaitForReply(uint64_t micros) {
  if (busy != 0 || link == nullptr || device_found == 0) {
    return false;  // nothing would take the bytes: the caller waits on its clock
  }
  return static_cast<bool>(WaitForLine(io_, link, micros));
}

bool UpdaterWindow::ReceiveWaitingBytes() {
  for (int pass = 0; pass < kMaxReceivePasses; ++pass) {
    if (link == nullptr) {
      return false;
    }
    if (rx_length < 0) {
      rx_length = 0;
    }
    if (rx_length == 1 && rx_buffer[kOffsetStartCode] != kRdmStartCode) {
      rx_length = 0;  // a byte before a start code (the adapter's NUL for the break)
    }
    if (rx_length >= 3 && !IsUsableMessageLength(rx_buffer[kOffsetMessageLength])) {
      ResyncAtNextStartCode();
      continue;
    }
    int wanted = rx_length == 0 ? 1 : 3 - rx_length;
    if (rx_length >= 3) {
      const int frame_size = FrameSizeFromMessageLength(rx_buffer[kOffsetMessageLength]);
      if (rx_length >= frame_size) {
        ShowAndDispatchFrame();
        return true;
      }
      wanted = frame_size - rx_length;
    }
    uint32_t waiting = 0;
    uint32_t tx_waiting = 0;
    uint32_t event_state = 0;
    if (io_.driver.FT_GetStatus(link, &waiting, &tx_waiting, &event_state) != FT_OK) {
      rx_length = 0;  // as a failed read: the partial frame is dropped
      return false;
    }
    if (waiting == 0) {
      return false;
    }
    const auto limit = static_cast<uint32_t>(std::min<int64_t>(waiting, wanted));
    uint32_t read = 0;
    if (io_.driver.FT_Read(link, rx_buffer.data() + rx_length, limit, &read) != FT_OK) {
      rx_length = 0;
      return false;
    }
    if (read == 0) {
      return false;
    }
    rx_length = static_cast<int16_t>(rx_length + std::min(read, limit));
  }
  return false;
}

}  // namespace quillmont
