// SPDX-License-Identifier: Apache-2.0
// --json: one document on standard output, whatever the command and however it ended. Its texts
// are valid UTF-8 whatever bytes they came from, and it is written as ASCII (every other
// character as \uXXXX), so it reads the same on any terminal, in any locale and in any file.
#pragma once

#include <nlohmann/json.hpp>

#include "cli/cli_command.h"

namespace quillmont::cli {

// Writes `document` with what the search for an adapter told ("port_notices", when it told
// anything) and returns its "exit_code". A document that cannot be written becomes one that says
// so, with exit status kExitCannotWrite (or the command's own failing status): never an abort.
int PrintDocument(CliOutput io, nlohmann::json document);

}  // namespace quillmont::cli
