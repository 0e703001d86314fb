// SPDX-License-Identifier: Apache-2.0
#include "child_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

extern char** environ;

namespace quillmont::testing {
namespace {

using Steady = std::chrono::steady_clock;

int MsLeft(Steady::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::string& stderr_path) {
  int pipe_fds[2] = {-1, -1};
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: errno " << errno;
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderr_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  const int err = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  out_ = pipe_fds[0];
  if (err != 0) {
    ADD_FAILURE() << "cannot start " << program << ": error " << err;
    pid_ = -1;
    return;
  }
  pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
  if (pidfd_ < 0) {
    ADD_FAILURE() << "pidfd_open: errno " << errno;
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (pidfd_ >= 0) {
    close(pidfd_);
  }
  if (out_ >= 0) {
    close(out_);
  }
}

bool ChildProcess::ReadLine(std::string& line, int timeout_ms) {
  const auto deadline = Steady::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return true;
    }
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, MsLeft(deadline)) <= 0) {
      return false;  // time is up
    }
    char buffer[4096];
    const ssize_t n = read(out_, buffer, sizeof buffer);
    if (n <= 0) {
      return false;  // the program closed its output
    }
    pending_.append(buffer, static_cast<size_t>(n));
  }
}

std::string ChildProcess::ReadRest(int timeout_ms) {
  const auto deadline = Steady::now() + std::chrono::milliseconds(timeout_ms);
  std::string rest;
  rest.swap(pending_);
  for (;;) {
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, MsLeft(deadline)) <= 0) {
      return rest;
    }
    char buffer[4096];
    const ssize_t n = read(out_, buffer, sizeof buffer);
    if (n <= 0) {
      return rest;
    }
    rest.append(buffer, static_cast<size_t>(n));
  }
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, signal);
  }
}

int ChildProcess::Wait(int timeout_ms) {
  if (pid_ <= 0) {
    return -1;
  }
  if (!reaped_) {
    pollfd p{pidfd_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) {
      ADD_FAILURE() << "process " << pid_ << " still running after " << timeout_ms << " ms; killed";
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      reaped_ = true;
      status_ = -1;
      return status_;
    }
    int raw = 0;
    waitpid(pid_, &raw, 0);
    reaped_ = true;
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -2;
  }
  return status_;
}

}  // namespace quillmont::testing
