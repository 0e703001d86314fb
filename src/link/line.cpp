#include "link/line.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace quillmont {
namespace {

// Writes one diagnostic text as it stands and flushes it, so that a line that does not end
// (the version and port texts of OpenLink) still shows before a slow FT_Open.
void Print(std::ostream& out, const char* text) {
  out << text << std::flush;
}

void PrintInt(std::ostream& out, const char* format, int value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  Print(out, text);
}

}  // namespace

FT_STATUS OpenLink(LineIo& io, LinkHandle& link, int index) {
  link = nullptr;
  uint32_t version = 0;
  const FT_STATUS version_status = io.driver.FT_GetLibraryVersion(&version);
  if (version_status != FT_OK) {
    Print(io.diag, "Error reading library version.\n");
    return version_status;
  }
  char text[64];
  std::snprintf(text, sizeof text, "FTDI Library version = 0x%x. ", static_cast<unsigned>(version));
  Print(io.diag, text);
  PrintInt(io.diag, "Opening port %d... ", index);
  FT_HANDLE handle = nullptr;
  FT_STATUS open_status = io.driver.FT_Open(index, &handle);
  // A driver that reports success without a handle has not opened anything: reporting 0 would
  // leave the caller believing in a link that is not there.
  if (open_status == FT_OK && handle == nullptr) {
    open_status = FT_INVALID_HANDLE;
  }
  if (open_status != FT_OK) {
    PrintInt(io.diag, "FT_Open(%d) failed\n", index);
    return open_status;
  }
  std::snprintf(text, sizeof text, "FT_Open succeeded, handle is %p\n", handle);
  Print(io.diag, text);
  link = handle;
  return FT_OK;
}

int32_t SendBreak(LineIo& io, LinkHandle& link) {
  if (link == nullptr) {
    return -1;
  }
  FT_STATUS status = io.driver.FT_SetBreakOn(link);
  if (status == FT_OK) {
    io.clock.SleepMs(1);
    status = io.driver.FT_SetBreakOff(link);
    if (status == FT_OK) {
      return 0;
    }
  }
  Print(io.diag, "FT_SetBreak failed!\n");
  return static_cast<int32_t>(status);
}

int32_t SetLinkBaud(LineIo& io, LinkHandle& link, int baud) {
  if (link == nullptr) {
    return -1;
  }
  const FT_STATUS status = io.driver.FT_SetBaudRate(link, static_cast<uint32_t>(baud));
  if (status != FT_OK) {
    Print(io.diag, "FT_SetBaudRate failed!\n");
    return static_cast<int32_t>(status);
  }
  PrintInt(io.diag, "BaudRate set to %d\n", baud);
  return 0;
}

int ReadWithTimeout(LineIo& io, LinkHandle& link, uint8_t* buffer, int16_t wanted,
                    int16_t timeout_ms) {
  if (link == nullptr) {
    return -1;
  }
  // Counted in polls of 10 ms. Held wider than the 16-bit time-out so that a time-out near
  // 32767 ms cannot wrap the count round and poll for ever.
  int32_t elapsed = 0;
  uint32_t waiting = 0;
  FT_STATUS status = FT_OK;
  for (;;) {
    io.clock.SleepMs(kPollMs);
    uint32_t tx_waiting = 0;
    uint32_t event_state = 0;
    waiting = 0;
    status = io.driver.FT_GetStatus(link, &waiting, &tx_waiting, &event_state);
    elapsed += kPollMs;
    if (static_cast<int64_t>(waiting) >= wanted || elapsed >= timeout_ms) {
      break;
    }
    if (status != FT_OK) {
      return -1;
    }
  }
  if (status != FT_OK) {
    return -1;
  }
  if (waiting == 0) {
    return 0;
  }
  const int64_t limit = std::min<int64_t>(
      {static_cast<int64_t>(waiting), kMaxReadBytes, static_cast<int64_t>(wanted)});
  if (limit <= 0) {
    return 0;
  }
  uint32_t read = 0;
  if (io.driver.FT_Read(link, buffer, static_cast<uint32_t>(limit), &read) != FT_OK) {
    return -1;
  }
  // A driver never reports more than it was asked for; if one did, the caller's buffer still
  // only holds `limit` bytes.
  return static_cast<int>(std::min<uint32_t>(read, static_cast<uint32_t>(limit)));
}

void DrainReceived(LineIo& io, LinkHandle& link, int max_reads) {
  std::array<uint8_t, kMaxReadBytes> scratch{};
  for (int i = 0; i < max_reads; ++i) {
    if (ReadWithTimeout(io, link, scratch.data(), kMaxReadBytes, 1) <= 0) {
      return;
    }
  }
}

}  // namespace quillmont
