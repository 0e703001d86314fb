// SPDX-License-Identifier: Apache-2.0
#include "sim/pty/terminal_baud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace quillmont::sim {

uint32_t TerminalBaud(int fd) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) {
    return 0;
  }
  return tio.c_ospeed;
}

}  // namespace quillmont::sim
