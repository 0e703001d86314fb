// Line access: the four operations through which the rest of Quillmont uses the adapter.
// Writing a frame is not one of them: the RDM senders make the break with SendBreak and then
// call FT_Write themselves. Diagnostic lines go to the LineIo's diagnostic stream (standard
// output in the programs), never to the log pane.
#pragma once

#include <cstdint>
#include <ostream>

#include "link/clock.h"
#include "link/d2xx_driver.h"

namespace quillmont {

// The handle of the open adapter; null while there is no link.
using LinkHandle = FT_HANDLE;

// What the line operations need besides the link itself: the driver, the clock that paces the
// polls, and where diagnostic lines go.
struct LineIo {
  D2xxDriver& driver;
  Clock& clock;
  std::ostream& diag;
};

inline constexpr int kPollMs = 10;         // one poll of ReadWithTimeout
inline constexpr int kMaxReadBytes = 256;  // the most one ReadWithTimeout returns

// Opens the adapter at index. 0 with link set, or the library's failing status with link null
// (FT_INVALID_HANDLE when the driver claims success but gives no handle).
FT_STATUS OpenLink(LineIo& io, LinkHandle& link, int index);

// Holds a break of about 1 ms. 0; -1 without a link; otherwise the failing status.
int32_t SendBreak(LineIo& io, LinkHandle& link);

// Sets the adapter's baud rate. 0; -1 without a link; otherwise the failing status.
int32_t SetLinkBaud(LineIo& io, LinkHandle& link, int baud);

// Polls every 10 ms until `wanted` bytes wait or `timeout_ms` is used up (counted in polls),
// then reads what waits, at most `wanted` and at most 256 bytes. Returns the count read, 0 when
// nothing waited (or nothing was wanted), -1 without a link or when the driver failed. Always
// sleeps at least once when there is a link. `buffer` holds at least min(wanted, 256) bytes.
int ReadWithTimeout(LineIo& io, LinkHandle& link, uint8_t* buffer, int16_t wanted,
                    int16_t timeout_ms);

// Empties the line before a request: reads and drops what waits (late bytes of a collision,
// noise), one poll a read, until a read finds nothing or `max_reads` reads were made.
void DrainReceived(LineIo& io, LinkHandle& link, int max_reads);

}  // namespace quillmont
