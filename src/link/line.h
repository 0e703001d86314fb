// SPDX-License-Identifier: Apache-2.0
// Line access: the operations through which the rest of Quillmont uses the adapter. Each returns
// a Status or a Result that says why it failed. Diagnostic lines go to the LineIo's diagnostic
// stream (standard output in the programs), never to the log pane; what the user must learn
// about the adapter (that it cannot send a break, say) is kept as a notice for the caller to
// tell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "base/result.h"
#include "link/clock.h"
#include "link/d2xx_driver.h"

namespace quillmont {

// The handle of the open adapter; null while there is no link.
using LinkHandle = FT_HANDLE;

// What the line access found worth telling the user about the open adapter, each once while it
// stays open: the caller takes the texts with TakeLineNotices and shows them.
struct LineNotices {
  std::vector<std::string> pending;
  bool told_break_refused = false;
  bool told_slow_break = false;
};

// What the line operations need besides the link itself: the driver, the clock that times the
// break and the waits, and where diagnostic lines go.
struct LineIo {
  D2xxDriver& driver;
  Clock& clock;
  std::ostream& diag;
  LineNotices notices = {};
};

inline constexpr int kPollMs = 10;         // the step in which the line's readers count a wait
inline constexpr int kMaxReadBytes = 256;  // the most one ReadWithTimeout returns

// E1.20's timing of what a controller sends before each frame: a break of 176 to 352 us and a
// mark after it of 12 to 88 us, both measured by the clock from the moment the adapter took
// the call. The targets leave room for the adapter's own delays.
inline constexpr uint64_t kBreakMicros = 200;
inline constexpr uint64_t kMarkAfterBreakMicros = 16;
// A break that takes the adapter's driver longer than this is not made by the chip: the driver
// simulates it (CH34x chips without a break register get a break of about 200 ms that way).
inline constexpr uint64_t kSlowBreakMicros = 50'000;
// How long one wait on a driver without its own wait lasts before the queue is looked at again.
inline constexpr uint64_t kLookMicros = 1000;

inline constexpr const char* kNoLinkText = "no adapter is open";
inline constexpr const char* kBreakRefusedText = "the adapter cannot send a break";

// Opens the adapter at index and prints its diagnostic lines. Ok with link set; otherwise an
// error and link null (also when the driver claims success but gives no handle).
Status OpenLink(LineIo& io, LinkHandle& link, int index);

// Holds a break of kBreakMicros, then the mark after it, for the frame written next. An error
// without a link, or when the adapter refuses the break (noted once for the user).
Status SendBreak(LineIo& io, LinkHandle& link);

// A break and then the frame: how every request goes out. Nothing is written when the break
// fails, since no fixture takes a frame without one.
Status SendFrame(LineIo& io, LinkHandle& link, const uint8_t* frame, size_t size);

// Sets the adapter's baud rate.
Status SetLinkBaud(LineIo& io, LinkHandle& link, int baud);

// Reads up to `wanted` bytes (at most 256): what already waits at once, then whatever arrives
// until `wanted` bytes are in or `timeout_ms` has passed on the clock, waiting on the adapter in
// between. The count read (0 when nothing came or nothing was wanted); an error without a link or
// when the driver failed. `buffer` holds at least min(wanted, 256) bytes.
Result<int> ReadWithTimeout(LineIo& io, LinkHandle& link, uint8_t* buffer, int16_t wanted,
                            int16_t timeout_ms);

// Waits until bytes wait to be read or `micros` have passed: on the adapter's own wait where its
// backend has one, otherwise on the clock for at most kLookMicros. Time always moves on unless
// bytes already wait.
Status WaitForLine(LineIo& io, LinkHandle& link, uint64_t micros);

// Empties the line before a request: reads and drops what waits (late bytes of a collision,
// noise), until the line stays quiet for kPollMs or `max_reads` reads were made.
void DrainReceived(LineIo& io, LinkHandle& link, int max_reads);

// The notices kept since the last call, oldest first.
std::vector<std::string> TakeLineNotices(LineIo& io);

}  // namespace quillmont
