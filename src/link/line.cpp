// SPDX-License-Identifier: Apache-2.0
#include "link/line.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

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

std::string WithStatus(const std::string& text, FT_STATUS status) {
  return text + " (status " + std::to_string(status) + ")";
}

void NoteBreakRefused(LineIo& io) {
  if (std::exchange(io.notices.told_break_refused, true)) {
    return;
  }
  io.notices.pending.push_back(
      std::string("No request can reach a fixture: ") + kBreakRefusedText +
      " (its driver refused it). Use an adapter that can, such as one built on an FTDI chip, "
      "or a DMX USB Pro-style widget (--driver usbpro).");
}

void NoteSlowBreak(LineIo& io, uint64_t micros) {
  if (std::exchange(io.notices.told_slow_break, true)) {
    return;
  }
  io.notices.pending.push_back(
      "The adapter took " + std::to_string((micros + 500) / 1000) +
      " ms to send a break: its driver simulates one (as it does for CH34x chips without a break "
      "register), and every request waits that long. An adapter built on an FTDI chip sends a "
      "break in well under a millisecond.");
}

Result<uint32_t> BytesWaiting(LineIo& io, LinkHandle link) {
  uint32_t waiting = 0;
  uint32_t tx_waiting = 0;
  uint32_t event_state = 0;
  const FT_STATUS status = io.driver.FT_GetStatus(link, &waiting, &tx_waiting, &event_state);
  if (status != FT_OK) {
    return Error{WithStatus("the adapter's receive queue cannot be read", status)};
  }
  return waiting;
}

}  // namespace

Status OpenLink(LineIo& io, LinkHandle& link, int index) {
  link = nullptr;
  uint32_t version = 0;
  const FT_STATUS version_status = io.driver.FT_GetLibraryVersion(&version);
  if (version_status != FT_OK) {
    Print(io.diag, "Error reading library version.\n");
    return Error{WithStatus("the driver library's version cannot be read", version_status)};
  }
  char text[64];
  std::snprintf(text, sizeof text, "FTDI Library version = 0x%x. ", static_cast<unsigned>(version));
  Print(io.diag, text);
  PrintInt(io.diag, "Opening port %d... ", index);
  FT_HANDLE handle = nullptr;
  FT_STATUS open_status = io.driver.FT_Open(index, &handle);
  // A driver that reports success without a handle has not opened anything: reporting success
  // would leave the caller believing in a link that is not there.
  if (open_status == FT_OK && handle == nullptr) {
    open_status = FT_INVALID_HANDLE;
  }
  if (open_status != FT_OK) {
    PrintInt(io.diag, "FT_Open(%d) failed\n", index);
    return Error{WithStatus("adapter " + std::to_string(index) + " cannot be opened", open_status)};
  }
  std::snprintf(text, sizeof text, "FT_Open succeeded, handle is %p\n", handle);
  Print(io.diag, text);
  link = handle;
  // A new adapter: what was told of the last one is told again of this one.
  io.notices.told_break_refused = false;
  io.notices.told_slow_break = false;
  return {};
}

Status SendBreak(LineIo& io, LinkHandle& link) {
  if (link == nullptr) {
    return Error{kNoLinkText};
  }
  FT_STATUS status = io.driver.FT_SetBreakOn(link);
  if (status == FT_OK) {
    const uint64_t on = io.clock.NowMicros();
    WaitUntilMicros(io.clock, on + kBreakMicros);
    status = io.driver.FT_SetBreakOff(link);
    if (status == FT_OK) {
      const uint64_t off = io.clock.NowMicros();
      if (off - on > kSlowBreakMicros) {
        NoteSlowBreak(io, off - on);
      }
      WaitUntilMicros(io.clock, off + kMarkAfterBreakMicros);
      return {};
    }
  }
  Print(io.diag, "FT_SetBreak failed!\n");
  NoteBreakRefused(io);
  return Error{WithStatus(kBreakRefusedText, status)};
}

Status SendFrame(LineIo& io, LinkHandle& link, const uint8_t* frame, size_t size) {
  if (Status sent = SendBreak(io, link); !sent) {
    return sent;
  }
  uint32_t written = 0;
  const FT_STATUS status = io.driver.FT_Write(link, frame, static_cast<uint32_t>(size), &written);
  if (status != FT_OK) {
    return Error{WithStatus("the adapter did not take the frame", status)};
  }
  return {};
}

Status SetLinkBaud(LineIo& io, LinkHandle& link, int baud) {
  if (link == nullptr) {
    return Error{kNoLinkText};
  }
  const FT_STATUS status = io.driver.FT_SetBaudRate(link, static_cast<uint32_t>(baud));
  if (status != FT_OK) {
    Print(io.diag, "FT_SetBaudRate failed!\n");
    return Error{WithStatus("the adapter refused " + std::to_string(baud) + " baud", status)};
  }
  PrintInt(io.diag, "BaudRate set to %d\n", baud);
  return {};
}

Result<int> ReadWithTimeout(LineIo& io, LinkHandle& link, uint8_t* buffer, int16_t wanted,
                            int16_t timeout_ms) {
  if (link == nullptr) {
    return Error{kNoLinkText};
  }
  const int limit = std::clamp<int>(wanted, 0, kMaxReadBytes);
  if (limit == 0) {
    return 0;
  }
  const uint64_t deadline =
      io.clock.NowMicros() + static_cast<uint64_t>(std::max<int16_t>(timeout_ms, 0)) * 1000;
  int got = 0;
  for (;;) {
    const Result<uint32_t> waiting = BytesWaiting(io, link);
    if (!waiting) {
      return waiting.error();
    }
    if (*waiting > 0) {
      const auto count = static_cast<uint32_t>(std::min<int64_t>(*waiting, limit - got));
      uint32_t read = 0;
      const FT_STATUS status = io.driver.FT_Read(link, buffer + got, count, &read);
      if (status != FT_OK) {
        return Error{WithStatus("the adapter's receive queue cannot be read", status)};
      }
      // A driver never reports more than it was asked for; if one did, the caller's buffer
      // still only holds what was asked.
      got += static_cast<int>(std::min(read, count));
    }
    const uint64_t now = io.clock.NowMicros();
    if (got >= limit || now >= deadline) {
      return got;
    }
    if (Status waited = WaitForLine(io, link, deadline - now); !waited) {
      return waited.error();
    }
  }
}

Status WaitForLine(LineIo& io, LinkHandle& link, uint64_t micros) {
  if (link == nullptr) {
    return Error{kNoLinkText};
  }
  if (micros == 0) {
    return {};
  }
  const uint64_t before = io.clock.NowMicros();
  const FT_STATUS status = io.driver.WaitReadable(link, micros);
  if (status != FT_OK && status != FT_NOT_SUPPORTED) {
    return Error{WithStatus("waiting on the adapter failed", status)};
  }
  if (status == FT_OK && io.clock.NowMicros() != before) {
    return {};
  }
  // The driver has no wait of its own, or came back at once: unless bytes wait, let time pass,
  // so that a caller waiting for a deadline never spins on the same instant.
  if (status == FT_OK) {
    const Result<uint32_t> waiting = BytesWaiting(io, link);
    if (!waiting) {
      return waiting.error();
    }
    if (*waiting > 0) {
      return {};
    }
  }
  io.clock.SleepMicros(std::min(micros, kLookMicros));
  return {};
}

void DrainReceived(LineIo& io, LinkHandle& link, int max_reads) {
  std::array<uint8_t, kMaxReadBytes> scratch{};
  for (int i = 0; i < max_reads; ++i) {
    const Result<int> got = ReadWithTimeout(io, link, scratch.data(), kMaxReadBytes, kPollMs);
    if (!got || *got <= 0) {
      return;
    }
  }
}

std::vector<std::string> TakeLineNotices(LineIo& io) {
  return std::exchange(io.notices.pending, {});
}

}  // namespace quillmont
