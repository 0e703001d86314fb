// The console as the program finds it, the same on every system.
#pragma once

namespace quillmont::cli {

// On Windows, switches stdout and stderr from text mode (which writes every "\n" as CR LF, and
// so the log's own CR LF as CR CR LF) to binary mode, so they carry the same bytes as
// elsewhere. Elsewhere it does nothing.
void UseBinaryConsole();

// True when standard output is a terminal (a console window on Windows), not a file or a pipe.
bool StandardOutputIsTerminal();

}  // namespace quillmont::cli
