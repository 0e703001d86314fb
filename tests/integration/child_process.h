// SPDX-License-Identifier: Apache-2.0
// Programs started by the integration tests, each waited for with a deadline: a program that
// overruns it is killed, so a hung run fails the test instead of hanging the suite.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quillmont::testing {

class ChildProcess {
 public:
  // Starts `program` with `args`; its standard output goes to a pipe the test reads, its
  // standard error to `stderr_path`.
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::string& stderr_path);
  ~ChildProcess();  // kills the program if it is still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  // The next line of standard output (without its line end), waiting at most timeout_ms;
  // false at the end of the output or when the time is up.
  bool ReadLine(std::string& line, int timeout_ms);
  // Everything else the program writes until it ends, at most timeout_ms in all.
  std::string ReadRest(int timeout_ms);
  // Sends `signal` to the program (SIGTERM, say), as a user or a service manager would.
  void Signal(int signal);
  // The exit status once the program has ended, waiting at most timeout_ms; -1 when it had to
  // be killed, -2 when it ended by a signal.
  int Wait(int timeout_ms);

 private:
  pid_t pid_ = -1;
  int pidfd_ = -1;
  int out_ = -1;
  std::string pending_;
  bool reaped_ = false;
  int status_ = 0;
};

}  // namespace quillmont::testing
