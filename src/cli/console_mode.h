// SPDX-License-Identifier: Apache-2.0
// The console as the program finds it, the same on every system.
#pragma once

#include <cstddef>

namespace quillmont::cli {

// On Windows, switches stdout and stderr from text mode (which writes every "\n" as CR LF, and
// so the log's own CR LF as CR CR LF) to binary mode, so they carry the same bytes as
// elsewhere. Elsewhere it does nothing.
void UseBinaryConsole();

// True when standard error is a terminal (a console window on Windows), not a file or a pipe:
// the status and progress of a run go there.
bool StandardErrorIsTerminal();

// The width of the terminal standard error writes to, in columns; 80 when it cannot tell.
size_t TerminalColumns();

}  // namespace quillmont::cli
