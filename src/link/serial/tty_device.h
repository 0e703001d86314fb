// SPDX-License-Identifier: Apache-2.0
// The calls that touch a POSIX terminal device, kept in one place. Linux's arbitrary-rate
// interface (termios2 with BOTHER) lives in tty_device.cpp alone, away from <termios.h>.
// Every function returns 0 or the errno value of the failure.
#pragma once

#include <cstdint>
#include <string>

namespace quillmont::serial {

// Opens a terminal for the DMX line: non-blocking, not as the controlling terminal, for this
// program alone (an advisory lock and the terminal's exclusive mode), raw, 8 data bits, 2 stop
// bits, no parity, no flow control, CLOCAL|CREAD, at `baud`, with both queues flushed, and
// with low latency asked of the driver where it has the setting. ENOTTY when the path is not a
// terminal (EISDIR for a directory); EBUSY when another program holds the lock or the
// exclusive mode (root included), and then nothing of that program's is touched.
int OpenTty(const std::string& path, uint32_t baud, int* fd);
// Lets go of the line: the break, the queue, the exclusive mode that OpenTty set, the lock.
void CloseTty(int fd);

// Asks the driver to pass received bytes on at once (ASYNC_LOW_LATENCY, which ftdi_sio turns
// into a 1 ms latency timer). False where the driver has no such setting (a pseudo-terminal)
// or refuses it; the line works either way, only later.
bool RequestLowLatency(int fd);

// Sets any baud rate; *actual is the rate the driver reports back afterwards.
int SetTtyBaud(int fd, uint32_t baud, uint32_t* actual);
int SetTtyBreak(int fd, bool on);

// Bytes received and waiting to be read; bytes written and not yet sent.
int TtyBytesWaiting(int fd, uint32_t* count);
int TtyBytesQueued(int fd, uint32_t* count);

// Reads what is there, at most count bytes; never waits.
int ReadTty(int fd, uint8_t* buffer, uint32_t count, uint32_t* got);

// Writes all count bytes, waiting at most timeout_ms in all for room in the output queue.
// ETIMEDOUT when the queue stayed full. It does not wait for the bytes to leave the adapter:
// the wait before the next break does (TtyTransmitter), bounded in time, where tcdrain would
// wait for ever on an adapter that never sends.
int WriteTty(int fd, const uint8_t* bytes, uint32_t count, int timeout_ms, uint32_t* written);

// What is known of the transmitter: the bytes still in the driver's queue, and whether the
// chip's own shift register is empty, where the driver tells (ftdi_sio and the on-board UARTs
// answer TIOCSERGETLSR; most others do not, and then *known is false).
int TtyTransmitter(int fd, uint32_t* queued, bool* empty, bool* known);
// Drops what the output queue still holds (an adapter that does not send).
void FlushTtyOutput(int fd);

// Waits until bytes can be read or `micros` have passed (ppoll). EIO when the device hung up
// or failed.
int WaitTtyReadable(int fd, uint64_t micros);

// Raises or lowers RTS (the driver enable of an adapter switched by RTS).
int SetTtyRts(int fd, bool on);
// Hands the switching of RTS to the kernel's RS485 mode, where the port has one (on-board
// UARTs): RTS on while sending, off after. ENOTTY (or EINVAL) where it has none.
int EnableTtyRs485(int fd);

// The modem lines in the adapter library's layout (CTS 0x10, DSR 0x20, RI 0x40, DCD 0x80).
// A terminal without modem lines (a pseudo-terminal) gives 0 and success; a device that is
// gone (unplugged, or its far end closed) gives an error.
int TtyModemStatus(int fd, uint32_t* status);

// True when the path names something that exists now (no open).
bool PathExists(const std::string& path);

}  // namespace quillmont::serial
