// SPDX-License-Identifier: Apache-2.0
// The calls that touch a Windows communications port, kept in one place (com_device.cpp, built
// on Windows only). Each returns FT_OK or the status the adapter library would give for the
// failure, so the driver above passes it on unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/d2xx_driver.h"

namespace quillmont::com {

using ComHandle = void*;

// Opens the port (its name as ComPortName gives it) for the DMX line: exclusive access, binary,
// 8 data bits, 2 stop bits, no parity, no flow control, NUL bytes kept, no abort on line errors,
// at `baud`, with reads that return at once and both queues purged. A device that is not a
// communications port is closed again and refused. On failure *why says why, for the user.
FT_STATUS OpenComPort(const std::string& port_name, uint32_t baud, ComHandle* handle,
                      std::string* why);
// Clears a break left on, drops anything still queued, closes.
void CloseComPort(ComHandle handle);

// Sets any rate the port's driver takes; *actual is the rate it reports back afterwards.
FT_STATUS SetComBaud(ComHandle handle, uint32_t baud, uint32_t* actual);
FT_STATUS SetComBreak(ComHandle handle, bool on);

// Bytes received and waiting; bytes written and not yet sent. Clears the port's error flags.
FT_STATUS ComQueues(ComHandle handle, uint32_t* rx_waiting, uint32_t* tx_waiting);

// Reads what is there, at most count bytes; never waits.
FT_STATUS ReadCom(ComHandle handle, uint8_t* buffer, uint32_t count, uint32_t* got);

// Writes all count bytes, or fails (FT_IO_ERROR) when the port took fewer within twice their
// time on the wire at `baud` plus 100 ms; then waits until they have left the transmitter
// (FlushFileBuffers; where a driver fails it, by watching the output queue empty, bounded by
// the same time).
FT_STATUS WriteCom(ComHandle handle, const uint8_t* bytes, uint32_t count, uint32_t baud,
                   uint32_t* written);

// Waits until a byte is received or `ms` pass: a read of one byte with a time-out, whose byte
// (when one came) is handed back in *byte with *got set. The port's own time-outs are set back
// afterwards.
FT_STATUS WaitComByte(ComHandle handle, uint32_t ms, uint32_t baud, uint8_t* byte, bool* got);

// Raises or lowers RTS.
FT_STATUS SetComRts(ComHandle handle, bool on);

// The latency timer FTDI's virtual COM port driver keeps for the port, from the registry (the
// device's LatencyTimer); nothing for ports of other drivers.
std::optional<uint32_t> ComLatencyTimer(const std::string& port_name);

// The modem lines in the adapter library's layout (CTS 0x10, DSR 0x20, RI 0x40, DCD 0x80),
// which is also Windows' own; none for a port without modem lines. Fails when the port is gone
// (the adapter was unplugged).
FT_STATUS ComModemStatus(ComHandle handle, uint32_t* status);

// The ports present now whose device's hardware ID names a DMX/RDM adapter
// (usb/known_adapters.h): FTDI's first, each group sorted. Other ports are only opened when
// named. No port is opened.
std::vector<std::string> ListComPorts();

}  // namespace quillmont::com
