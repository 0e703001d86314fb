// SPDX-License-Identifier: Apache-2.0
// Kept apart from pty_pair.cpp: termios2 comes from the kernel's header, which clashes with
// glibc's <termios.h> that <pty.h> pulls in.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "pty_pair.h"

namespace quillmont::testing {

LineSettings ReadLineSettings(int fd) {
  struct termios2 tio {};
  LineSettings s;
  if (ioctl(fd, TCGETS2, &tio) != 0) {
    return s;
  }
  s.input_baud = tio.c_ispeed;
  s.output_baud = tio.c_ospeed;
  s.eight_bits = (tio.c_cflag & CSIZE) == CS8;
  s.two_stop_bits = (tio.c_cflag & CSTOPB) != 0;
  s.parity = (tio.c_cflag & PARENB) != 0;
  s.hardware_flow = (tio.c_cflag & CRTSCTS) != 0;
  s.ignore_modem_lines = (tio.c_cflag & CLOCAL) != 0;
  s.receiver_on = (tio.c_cflag & CREAD) != 0;
  s.software_flow = (tio.c_iflag & (IXON | IXOFF)) != 0;
  s.input_translation = (tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP)) != 0;
  s.output_processing = (tio.c_oflag & OPOST) != 0;
  s.canonical_or_echo = (tio.c_lflag & (ICANON | ECHO | ISIG)) != 0;
  return s;
}

}  // namespace quillmont::testing
