// SPDX-License-Identifier: Apache-2.0
// A new pseudo-terminal for quillmont-sim: the server plays the fixtures' end of the line on the
// master side; hosts (quillmont-cli, the window) open the slave by its path as if it were an
// adapter.
//
// The server keeps a slave descriptor of its own open for as long as it runs, so that the master
// neither reads EIO nor polls as hung up between two hosts, and it watches the slave's device
// node for opens and closes (inotify) to know when a host comes and goes. Hosts open their port
// with exclusive access; on a pseudo-terminal that mark outlives the host's close for as long as
// the master is open, so that no second host (short of root) could open it. When the last host
// lets go, the server clears the mark.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/result.h"

namespace quillmont::sim {

class PseudoTerminal {
 public:
  // A new pseudo-terminal in raw mode, or the reason it cannot be made.
  static Result<std::unique_ptr<PseudoTerminal>> Open();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // The slave's path, e.g. /dev/pts/7.
  const std::string& path() const { return path_; }
  // Descriptors to poll: the master (bytes from the host), the watch (hosts opening and closing).
  int master_fd() const { return master_; }
  int watch_fd() const { return watch_; }

  // Reads what the host sent, at most `count` bytes; never waits. The count read (0 when there
  // is nothing), or an error when the master failed.
  Result<size_t> Read(uint8_t* buffer, size_t count);
  // Writes what fits now, never waits. The count written (0 when the host's input is full), or
  // an error when the master failed.
  Result<size_t> Write(const uint8_t* bytes, size_t count);
  // The rate the host set on its side of the terminal (a program sets its adapter's rate);
  // 0 when it cannot be read.
  uint32_t HostBaud() const;

  // Takes the open and close notices that have come.
  void TakeNotices();
  // Hosts that have the slave open now; how many times a host opened it, and how many times the
  // last host let go of it, since the start.
  int hosts() const { return hosts_; }
  uint64_t host_sessions() const { return sessions_; }
  uint64_t let_go_count() const { return let_go_; }

  // Bytes the server wrote that no host has read yet.
  uint32_t UnreadByHost() const;

  // Creates a symbolic link at `link_path` to the slave's path, replacing a symbolic link that
  // is there (not any other file); it is removed again when the terminal closes.
  Status Link(const std::string& link_path);

 private:
  PseudoTerminal() = default;

  int master_ = -1;
  int own_slave_ = -1;
  int watch_ = -1;
  std::string path_;
  std::string link_path_;
  int hosts_ = 0;
  uint64_t sessions_ = 0;
  uint64_t let_go_ = 0;
};

}  // namespace quillmont::sim
