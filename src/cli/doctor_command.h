// SPDX-License-Identifier: Apache-2.0
// quillmont-cli doctor: a health check of every adapter the driver finds (or those --port names)
// before an update: what each is, whether it opens, its rate and latency timer, its echo and its
// breaks, the fixtures on it, the services that can grab a serial adapter, and a verdict.
#pragma once

#include "cli/cli_command.h"

namespace quillmont::cli {

CliCommand AddDoctorCommand(CLI::App& app, CliOutput io);

}  // namespace quillmont::cli
