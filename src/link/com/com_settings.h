// SPDX-License-Identifier: Apache-2.0
// The port settings of the DMX line, as Windows structures. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>

namespace quillmont::com {

// Sets in `dcb` (read from the port first, so fields not named here keep the driver's values):
// `baud`, binary, 8 data bits, 2 stop bits, no parity, no flow control of any kind, DTR and RTS
// on, NUL bytes kept (RDM frames are full of them), no error replacement character and no
// abort on line errors (a break or framing error must not stop the port).
void SetDmxLine(DCB& dcb, uint32_t baud);

// Reads that return at once with what is waiting; writes that give up after twice the time
// the bytes need on the wire at `baud` plus 100 ms.
COMMTIMEOUTS DmxTimeouts(uint32_t baud);

}  // namespace quillmont::com
