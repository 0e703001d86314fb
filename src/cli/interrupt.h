// SPDX-License-Identifier: Apache-2.0
// Signals that end a run of quillmont-cli the orderly way: SIGINT, SIGTERM and SIGHUP only set a
// flag that the tick loop looks at, so that a running update is aborted as the Abort button
// aborts it (nothing more is sent), the summary and the JSON document are still written and the
// port is closed. A second Ctrl-C ends the program at once. SIGPIPE is ignored: a closed
// standard output never stops an update half-way.
#pragma once

#include <string>

namespace quillmont::cli {

// Installs the handlers for the rest of the process's life.
void InstallInterruptHandlers();

// The signal that asked the run to end, or 0.
int PendingInterrupt();

// What the handler does: notes `signal` (the first one noted stays). For tests.
void RequestInterrupt(int signal);
// Forgets a noted signal. For tests.
void ClearInterrupt();

// The exit status of a run ended by `signal`: 128 plus its number (130 for SIGINT, 143 for
// SIGTERM, 129 for SIGHUP).
int InterruptExitCode(int signal);

// "Interrupted by SIGTERM."
std::string InterruptText(int signal);

}  // namespace quillmont::cli
