// SPDX-License-Identifier: Apache-2.0
#include "link/com/com_settings.h"

#include <algorithm>

namespace quillmont::com {
namespace {

constexpr uint64_t kBitsPerByte = 11;  // start, 8 data, 2 stop
constexpr DWORD kWriteSlackMs = 100;

}  // namespace

void SetDmxLine(DCB& dcb, uint32_t baud) {
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = baud;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = FALSE;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = TWOSTOPBITS;
}

COMMTIMEOUTS DmxTimeouts(uint32_t baud) {
  COMMTIMEOUTS timeouts{};
  // MAXDWORD with both read totals 0: ReadFile returns at once with the bytes already received.
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 0;
  // Whole milliseconds per byte, rounded up, twice over: 1 ms at DMX512's 250000 baud.
  const uint64_t per_byte =
      (2 * kBitsPerByte * 1000 + std::max<uint64_t>(baud, 1) - 1) / std::max<uint64_t>(baud, 1);
  timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>(std::min<uint64_t>(per_byte, 1000));
  timeouts.WriteTotalTimeoutConstant = kWriteSlackMs;
  return timeouts;
}

}  // namespace quillmont::com
