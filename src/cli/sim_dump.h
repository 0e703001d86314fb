// SPDX-License-Identifier: Apache-2.0
// --sim-dump: the simulated fixtures' flash written to files when a run ends, for tests and
// benches to compare with the image.
#pragma once

#include <ostream>
#include <string>

#include "base/result.h"
#include "drivers/driver_choice.h"

namespace quillmont::cli {

// Whether --sim-dump PATH can be written, checked before a run begins: an error that says which
// and why ("--sim-dump: cannot write out/flash.bin: no such folder"). A file made for the check is
// removed again; one already there is left as it is.
Status CheckDumpPath(const std::string& path);

// Writes the flash of the simulated fixture `uid` ("4F 4C ..."; the line's first fixture when
// no fixture has it) to `path`. Nothing without a path or a simulated line; a file that cannot be
// written is told on `err`.
void DumpFixtureFlash(DriverSet& drivers, const std::string& uid, const std::string& path,
                      std::ostream& err);

// Writes the flash of every simulated fixture on the line of `drivers` to its
// FixtureDumpPath.
void DumpLineFlash(DriverSet& drivers, const std::string& path, bool all_adapters, int adapter,
                   std::ostream& err);

// Where --sim-dump writes the flash of adapter `adapter` when all adapters are updated: PATH.N.
std::string AdapterDumpPath(const std::string& path, int adapter);

// Where --sim-dump writes the flash of simulated fixture `fixture` (its place on its line):
// PATH.N, or PATH.A.N for adapter A when every adapter is updated.
std::string FixtureDumpPath(const std::string& path, bool all_adapters, int adapter, int fixture);

}  // namespace quillmont::cli
