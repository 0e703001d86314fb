// SPDX-License-Identifier: Apache-2.0
#include "link/serial/tty_device.h"

// termios2 and BOTHER come from the kernel's own header; glibc's <termios.h> declares a
// different struct termios and must not be included in this file.
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>

namespace quillmont::serial {
namespace {

// The adapter library's modem status bits.
constexpr uint32_t kModemCts = 0x10;
constexpr uint32_t kModemDsr = 0x20;
constexpr uint32_t kModemRi = 0x40;
constexpr uint32_t kModemDcd = 0x80;

template <typename Call>
int Retry(Call call) {
  for (;;) {
    if (call() >= 0) {
      return 0;
    }
    if (errno != EINTR) {
      return errno;
    }
  }
}

int ApplyLineSettings(int fd, uint32_t baud) {
  struct termios2 tio {};
  if (int err = Retry([&] { return ioctl(fd, TCGETS2, &tio); }); err != 0) {
    return err;
  }
  // Raw: no input translation (CR/LF, XON/XOFF, parity marking, break as NUL), no output
  // processing, no line editing, echo or signals.
  tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK | IUCLC | IMAXBEL);
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  // 8 data bits, 2 stop bits, no parity, no hardware flow control, modem lines ignored.
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CRTSCTS | CBAUD |
                                        (CBAUD << IBSHIFT));
  tio.c_cflag |=
      static_cast<tcflag_t>(CS8 | CSTOPB | CLOCAL | CREAD | BOTHER | (BOTHER << IBSHIFT));
  tio.c_ispeed = baud;
  tio.c_ospeed = baud;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  return Retry([&] { return ioctl(fd, TCSETS2, &tio); });
}

int ReadBaud(int fd, uint32_t* baud) {
  struct termios2 tio {};
  if (int err = Retry([&] { return ioctl(fd, TCGETS2, &tio); }); err != 0) {
    return err;
  }
  *baud = tio.c_ospeed;
  return 0;
}

}  // namespace

int OpenTty(const std::string& path, uint32_t baud, int* fd) {
  const int handle = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (handle < 0) {
    return errno;
  }
  // Until the lock and the exclusive mode are ours, a failure only closes the descriptor: the
  // program that holds the line keeps both.
  const auto refuse = [handle](int err) {
    close(handle);
    return err;
  };
  struct termios2 probe {};
  if (int err = Retry([&] { return ioctl(handle, TCGETS2, &probe); }); err != 0) {
    return refuse(err == EINVAL ? ENOTTY : err);
  }
  // The advisory lock holds against root too, and goes when the descriptor does, also when
  // the program dies. Every name of the device (/dev/serial/by-id/...) shares it.
  if (int err = Retry([&] { return flock(handle, LOCK_EX | LOCK_NB); }); err != 0) {
    return refuse(err == EWOULDBLOCK ? EBUSY : err);
  }
  // Another program that set the exclusive mode wants the line for itself; root's open gets
  // past the mode, this check does not. (Kernels before 3.8 cannot tell: then it is ours.)
  int exclusive = 0;
  if (ioctl(handle, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
    return refuse(EBUSY);
  }
  int err = Retry([&] { return ioctl(handle, TIOCEXCL); });
  if (err != 0) {
    return refuse(err);
  }
  err = ApplyLineSettings(handle, baud);
  if (err == 0) {
    err = Retry([&] { return ioctl(handle, TCFLSH, TCIOFLUSH); });
  }
  if (err != 0) {
    ioctl(handle, TIOCNXCL);
    return refuse(err);
  }
  RequestLowLatency(handle);
  *fd = handle;
  return 0;
}

void CloseTty(int fd) {
  // A line left in break would hold every fixture on it in reset. Output that a failed write
  // left queued is dropped, so close does not wait for an adapter that no longer sends.
  ioctl(fd, TIOCCBRK);
  ioctl(fd, TCFLSH, TCIOFLUSH);
  // The exclusive mode is this program's (OpenTty refuses a line where another set it) and
  // ends with its use of the line: on a device that outlives the descriptor (a pseudo-terminal
  // whose far end stays open) it would otherwise stay and lock out the next program. The lock
  // goes with the descriptor.
  ioctl(fd, TIOCNXCL);
  close(fd);
}

bool RequestLowLatency(int fd) {
  struct serial_struct serial {};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0) {
    return false;
  }
  if ((serial.flags & ASYNC_LOW_LATENCY) != 0) {
    return true;
  }
  serial.flags |= ASYNC_LOW_LATENCY;
  return ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

int SetTtyBaud(int fd, uint32_t baud, uint32_t* actual) {
  struct termios2 tio {};
  if (int err = Retry([&] { return ioctl(fd, TCGETS2, &tio); }); err != 0) {
    return err;
  }
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= static_cast<tcflag_t>(BOTHER | (BOTHER << IBSHIFT));
  tio.c_ispeed = baud;
  tio.c_ospeed = baud;
  if (int err = Retry([&] { return ioctl(fd, TCSETS2, &tio); }); err != 0) {
    return err;
  }
  return ReadBaud(fd, actual);
}

int SetTtyBreak(int fd, bool on) {
  return Retry([&] { return ioctl(fd, on ? TIOCSBRK : TIOCCBRK); });
}

int TtyBytesWaiting(int fd, uint32_t* count) {
  int n = 0;
  if (int err = Retry([&] { return ioctl(fd, FIONREAD, &n); }); err != 0) {
    return err;
  }
  *count = n > 0 ? static_cast<uint32_t>(n) : 0;
  return 0;
}

int TtyBytesQueued(int fd, uint32_t* count) {
  int n = 0;
  if (int err = Retry([&] { return ioctl(fd, TIOCOUTQ, &n); }); err != 0) {
    return err;
  }
  *count = n > 0 ? static_cast<uint32_t>(n) : 0;
  return 0;
}

int ReadTty(int fd, uint8_t* buffer, uint32_t count, uint32_t* got) {
  uint32_t total = 0;
  while (total < count) {
    const ssize_t n = read(fd, buffer + total, count - total);
    if (n > 0) {
      total += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      *got = total;
      return errno;
    }
    break;  // nothing more waiting (EAGAIN), or end of input
  }
  *got = total;
  return 0;
}

int WriteTty(int fd, const uint8_t* bytes, uint32_t count, int timeout_ms, uint32_t* written) {
  using Steady = std::chrono::steady_clock;
  const Steady::time_point deadline = Steady::now() + std::chrono::milliseconds(timeout_ms);
  uint32_t total = 0;
  *written = 0;
  while (total < count) {
    const ssize_t n = write(fd, bytes + total, count - total);
    if (n > 0) {
      total += static_cast<uint32_t>(n);
      *written = total;
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      return errno;
    }
    // The output queue is full: wait for room, but only until the deadline.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now());
    if (left.count() <= 0) {
      return ETIMEDOUT;
    }
    struct pollfd p {};
    p.fd = fd;
    p.events = POLLOUT;
    const int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) {
      return errno;
    }
    if (ready > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      return EIO;
    }
  }
  return 0;
}

int TtyTransmitter(int fd, uint32_t* queued, bool* empty, bool* known) {
  if (const int err = TtyBytesQueued(fd, queued); err != 0) {
    return err;
  }
  unsigned int lsr = 0;
  *known = ioctl(fd, TIOCSERGETLSR, &lsr) == 0;
  *empty = *known && (lsr & TIOCSER_TEMT) != 0;
  return 0;
}

void FlushTtyOutput(int fd) {
  ioctl(fd, TCFLSH, TCOFLUSH);
}

int WaitTtyReadable(int fd, uint64_t micros) {
  struct pollfd p {};
  p.fd = fd;
  p.events = POLLIN;
  struct timespec timeout {};
  timeout.tv_sec = static_cast<time_t>(micros / 1'000'000);
  timeout.tv_nsec = static_cast<long>(micros % 1'000'000) * 1000;
  const int ready = ppoll(&p, 1, &timeout, nullptr);
  if (ready < 0) {
    return errno == EINTR ? 0 : errno;
  }
  if (ready > 0 && (p.revents & POLLIN) == 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
    return EIO;
  }
  return 0;
}

int SetTtyRts(int fd, bool on) {
  const int rts = TIOCM_RTS;
  return Retry([&] { return ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &rts); });
}

int EnableTtyRs485(int fd) {
  struct serial_rs485 rs485 {};
  if (int err = Retry([&] { return ioctl(fd, TIOCGRS485, &rs485); }); err != 0) {
    return err;
  }
  rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
  rs485.flags &= ~static_cast<uint32_t>(SER_RS485_RTS_AFTER_SEND | SER_RS485_RX_DURING_TX);
  rs485.delay_rts_before_send = 0;
  rs485.delay_rts_after_send = 0;
  return Retry([&] { return ioctl(fd, TIOCSRS485, &rs485); });
}

int TtyModemStatus(int fd, uint32_t* status) {
  int lines = 0;
  const int err = Retry([&] { return ioctl(fd, TIOCMGET, &lines); });
  if (err == EINVAL || err == ENOTTY) {
    // No modem lines (a pseudo-terminal). It is still there unless its far end hung up.
    struct pollfd p {};
    p.fd = fd;
    p.events = 0;
    if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      return EIO;
    }
    *status = 0;
    return 0;
  }
  if (err != 0) {
    return err;  // EIO, ENODEV, ENXIO, EBADF: the adapter is gone
  }
  uint32_t value = 0;
  value |= (lines & TIOCM_CTS) != 0 ? kModemCts : 0;
  value |= (lines & TIOCM_DSR) != 0 ? kModemDsr : 0;
  value |= (lines & TIOCM_RI) != 0 ? kModemRi : 0;
  value |= (lines & TIOCM_CD) != 0 ? kModemDcd : 0;
  *status = value;
  return 0;
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

}  // namespace quillmont::serial
