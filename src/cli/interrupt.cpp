// SPDX-License-Identifier: Apache-2.0
#include "cli/interrupt.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

namespace quillmont::cli {
namespace {

std::atomic<int> pending_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnInterruptSignal(int signal) {
  int expected = 0;
  if (!pending_signal.compare_exchange_strong(expected, signal) && signal == SIGINT) {
    // A second Ctrl-C: the operator does not want to wait for the orderly end.
    std::_Exit(InterruptExitCode(SIGINT));
  }
}

}  // namespace

void InstallInterruptHandlers() {
  std::signal(SIGINT, OnInterruptSignal);
  std::signal(SIGTERM, OnInterruptSignal);
#ifdef SIGHUP
  std::signal(SIGHUP, OnInterruptSignal);
#endif
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

int PendingInterrupt() {
  return pending_signal.load();
}

void RequestInterrupt(int signal) {
  int expected = 0;
  pending_signal.compare_exchange_strong(expected, signal);
}

void ClearInterrupt() {
  pending_signal.store(0);
}

int InterruptExitCode(int signal) {
  return 128 + signal;
}

std::string InterruptText(int signal) {
  const char* name = signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : nullptr;
#ifdef SIGHUP
  if (signal == SIGHUP) {
    name = "SIGHUP";
  }
#endif
  return name != nullptr ? std::string("Interrupted by ") + name + "."
                         : "Interrupted by signal " + std::to_string(signal) + ".";
}

}  // namespace quillmont::cli
