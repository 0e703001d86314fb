// SPDX-License-Identifier: Apache-2.0
// The rate a terminal is set to, as a program set it (any rate, through termios2). Kept apart:
// the kernel's termios2 header and the C library's <termios.h> cannot meet in one file.
#pragma once

#include <cstdint>

namespace quillmont::sim {

// The output rate of the terminal open as `fd`; 0 when it cannot be read.
uint32_t TerminalBaud(int fd);

}  // namespace quillmont::sim
