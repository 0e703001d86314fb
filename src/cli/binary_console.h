// Standard output and error carry the same bytes on every system.
#pragma once

namespace quillmont::cli {

// On Windows, switches stdout and stderr from text mode (which writes every "\n" as CR LF, and
// so the log's own CR LF as CR CR LF) to binary mode. Elsewhere it does nothing.
void UseBinaryConsole();

}  // namespace quillmont::cli
