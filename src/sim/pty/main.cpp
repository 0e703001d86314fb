// SPDX-License-Identifier: Apache-2.0
// quillmont-sim: simulated RDM fixtures on a new pseudo-terminal.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <iostream>
#include <string>

#include "link/clock.h"
#include "rdm/uid.h"
#include "sim/nor_flash.h"
#include "sim/pty/fixture_server.h"
#include "sim/pty/pseudo_terminal.h"
#include "sim/pty/sim_options.h"
#include "sim/pty/widget_server.h"

namespace {

using quillmont::sim::kSimExitFailed;
using quillmont::sim::kSimExitOk;

void Say(const std::string& line) {
  std::cout << "quillmont-sim: " << line << std::endl;
}

template <typename Server>
std::string FixtureList(Server& server) {
  std::string list = server.fixture_count() == 1 ? "fixture " : "fixtures ";
  for (size_t i = 0; i < server.fixture_count(); ++i) {
    list += (i == 0 ? "" : ", ") + quillmont::FormatUid(server.fixture(i).config().uid);
  }
  return list;
}

// The fixtures' flash: the first one's to `path`, the others' to path.2, path.3, ...
template <typename Server>
int DumpAll(Server& server, const std::string& path) {
  int status = kSimExitOk;
  for (size_t i = 0; i < server.fixture_count(); ++i) {
    const std::string target = i == 0 ? path : path + "." + std::to_string(i + 1);
    if (const quillmont::Status dumped = quillmont::DumpFlash(server.fixture(i).flash(), target);
        dumped) {
      Say("flash of " + quillmont::FormatUid(server.fixture(i).config().uid) + " written to " +
          target);
    } else {
      std::cerr << "quillmont-sim: " << dumped.error().message << std::endl;
      status = kSimExitFailed;
    }
  }
  return status;
}

// Serves until the end, tells how it ended and dumps the flash; the exit status.
template <typename Server>
int Run(Server& server, const std::string& where, int stop_fd,
        const quillmont::sim::SimOptions& options) {
  Say(FixtureList(server) + where);
  server.set_event_sink(Say);
  quillmont::sim::ServeOptions serve;
  serve.exit_after_start = options.exit_after_start;
  int status = kSimExitOk;
  switch (server.Serve(stop_fd, serve)) {
    case quillmont::sim::ServeEnd::kStopped:
      Say("stopped");
      break;
    case quillmont::sim::ServeEnd::kApplicationStarted:
      Say("the new application has started; ending");
      break;
    case quillmont::sim::ServeEnd::kLineFailed:
      std::cerr << "quillmont-sim: the pseudo-terminal failed" << std::endl;
      status = kSimExitFailed;
      break;
  }
  if (!options.dump_path.empty() && DumpAll(server, options.dump_path) != kSimExitOk) {
    status = kSimExitFailed;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  quillmont::sim::SimOptions options;
  if (const int status =
          quillmont::sim::ParseSimArguments(argc, argv, options, std::cout, std::cerr);
      status >= 0) {
    return status;
  }

  // SIGINT, SIGTERM and SIGHUP end the run through a descriptor the server polls, so the flash
  // is still dumped and the link removed.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGHUP);
  sigprocmask(SIG_BLOCK, &stop_signals, nullptr);
  // A script that read the first line and closed the pipe must not end the run before the dump.
  signal(SIGPIPE, SIG_IGN);
  const int stop_fd = signalfd(-1, &stop_signals, SFD_NONBLOCK | SFD_CLOEXEC);
  if (stop_fd < 0) {
    std::cerr << "quillmont-sim: cannot take signals through a descriptor" << std::endl;
    return kSimExitFailed;
  }

  auto opened = quillmont::sim::PseudoTerminal::Open();
  if (!opened) {
    std::cerr << "quillmont-sim: " << opened.error().message << std::endl;
    return kSimExitFailed;
  }
  quillmont::sim::PseudoTerminal& pty = **opened;
  if (!options.link_path.empty()) {
    if (const quillmont::Status linked = pty.Link(options.link_path); !linked) {
      std::cerr << "quillmont-sim: " << linked.error().message << std::endl;
      return kSimExitFailed;
    }
  }

  quillmont::SystemClock clock;
  int status = kSimExitOk;
  const bool clone = options.adapter == quillmont::AdapterProfile::kWidgetClone;
  if (options.widget) {
    quillmont::sim::WidgetServer server(pty, clock, options.fixtures, options.faults,
                                        quillmont::WidgetHabitsOf(clone));
    status = Run(server,
                 std::string(" behind a DMX USB Pro-style widget") +
                     (clone ? " clone (host side at 115200 baud)" : "") + " on " + pty.path(),
                 stop_fd, options);
  } else {
    quillmont::sim::FixtureServer server(pty, clock, options.fixtures, options.faults,
                                         quillmont::ModelOfProfile(options.adapter));
    status = Run(server, " on " + pty.path(), stop_fd, options);
  }
  close(stop_fd);
  return status;
}
