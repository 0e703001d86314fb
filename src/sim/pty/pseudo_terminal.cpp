// SPDX-License-Identifier: Apache-2.0
#include "sim/pty/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/pty/terminal_baud.h"

namespace quillmont::sim {
namespace {

Error Failure(const std::string& what) {
  return Error{what + ": " + std::strerror(errno)};
}

bool MakeRaw(int fd) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    return false;
  }
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace

Result<std::unique_ptr<PseudoTerminal>> PseudoTerminal::Open() {
  std::unique_ptr<PseudoTerminal> pty(new PseudoTerminal());
  pty->master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (pty->master_ < 0) {
    return Failure("cannot create a pseudo-terminal");
  }
  // posix_openpt takes no O_NONBLOCK or O_CLOEXEC everywhere; set them afterwards.
  fcntl(pty->master_, F_SETFL, fcntl(pty->master_, F_GETFL) | O_NONBLOCK);
  fcntl(pty->master_, F_SETFD, FD_CLOEXEC);
  char name[128] = {};
  if (grantpt(pty->master_) != 0 || unlockpt(pty->master_) != 0 ||
      ptsname_r(pty->master_, name, sizeof name) != 0) {
    return Failure("cannot unlock the pseudo-terminal");
  }
  pty->path_ = name;
  pty->own_slave_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (pty->own_slave_ < 0) {
    return Failure("cannot open the pseudo-terminal's slave side");
  }
  // Raw on both sides: no echo, no line editing, no CR/LF translation, all 8 bits.
  if (!MakeRaw(pty->master_) || !MakeRaw(pty->own_slave_)) {
    return Failure("cannot set the pseudo-terminal to raw mode");
  }
  pty->watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (pty->watch_ < 0 || inotify_add_watch(pty->watch_, name, IN_OPEN | IN_CLOSE) < 0) {
    return Failure("cannot watch the pseudo-terminal");
  }
  return pty;
}

PseudoTerminal::~PseudoTerminal() {
  if (!link_path_.empty()) {
    unlink(link_path_.c_str());
  }
  for (int fd : {watch_, own_slave_, master_}) {
    if (fd >= 0) {
      close(fd);
    }
  }
}

Result<size_t> PseudoTerminal::Read(uint8_t* buffer, size_t count) {
  for (;;) {
    const ssize_t n = read(master_, buffer, count);
    if (n >= 0) {
      return static_cast<size_t>(n);
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      return size_t{0};
    }
    if (errno != EINTR) {
      return Failure("the pseudo-terminal cannot be read");
    }
  }
}

Result<size_t> PseudoTerminal::Write(const uint8_t* bytes, size_t count) {
  for (;;) {
    const ssize_t n = write(master_, bytes, count);
    if (n >= 0) {
      return static_cast<size_t>(n);
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      return size_t{0};
    }
    if (errno != EINTR) {
      return Failure("the pseudo-terminal cannot be written");
    }
  }
}

uint32_t PseudoTerminal::HostBaud() const {
  return TerminalBaud(own_slave_);
}

void PseudoTerminal::TakeNotices() {
  bool let_go = false;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = read(watch_, buffer, sizeof buffer);
    if (n <= 0) {
      break;  // EAGAIN: no more notices
    }
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      inotify_event event;
      std::memcpy(&event, buffer + at, sizeof event);
      at += static_cast<ssize_t>(sizeof event + event.len);
      if ((event.mask & IN_Q_OVERFLOW) != 0) {
        // Notices were lost: count again from what the exclusive mark says.
        int exclusive = 0;
        ioctl(own_slave_, TIOCGEXCL, &exclusive);
        hosts_ = exclusive != 0 ? 1 : 0;
      } else if ((event.mask & IN_OPEN) != 0) {
        ++hosts_;
        ++sessions_;
      } else if ((event.mask & IN_CLOSE) != 0 && hosts_ > 0) {
        if (--hosts_ == 0) {
          let_go = true;
          ++let_go_;
        }
      }
    }
  }
  if (let_go) {
    // Open the line to the next host.
    ioctl(own_slave_, TIOCNXCL);
  }
}

uint32_t PseudoTerminal::UnreadByHost() const {
  int n = 0;
  if (ioctl(own_slave_, FIONREAD, &n) != 0 || n < 0) {
    return 0;
  }
  return static_cast<uint32_t>(n);
}

Status PseudoTerminal::Link(const std::string& link_path) {
  struct stat st {};
  if (lstat(link_path.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      return Error{link_path + " exists and is not a symbolic link; not replaced"};
    }
    unlink(link_path.c_str());
  }
  if (symlink(path_.c_str(), link_path.c_str()) != 0) {
    return Failure("cannot create " + link_path);
  }
  link_path_ = link_path;
  return {};
}

}  // namespace quillmont::sim
