// SPDX-License-Identifier: Apache-2.0
#include "cli/sim_dump.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "sim/nor_flash.h"
#include "sim/simulated_line.h"

namespace quillmont::cli {
namespace {

void Dump(const SimulatedFixture& fixture, const std::string& path, std::ostream& err) {
  if (const Status dumped = DumpFlash(fixture.flash(), path); !dumped) {
    err << dumped.error().message << '\n';
  }
}

// Why `path`, which is not there or is a file, cannot be opened for writing; nothing when it can.
std::string OpenForWriting(const std::string& path, bool existed) {
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "ab");  // appends: nothing there is changed
  if (file == nullptr) {
    const int error = errno;
    return error == ENOENT   ? "no such folder"
           : error == EACCES ? "permission denied"
           : error == EROFS  ? "read-only file system"
                             : std::strerror(error);
  }
  std::fclose(file);
  if (!existed) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
  return {};
}

}  // namespace

Status CheckDumpPath(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  std::string why;
  switch (status.type()) {
    case fs::file_type::directory:
      why = "is a directory";
      break;
    case fs::file_type::not_found:
    case fs::file_type::regular:
    case fs::file_type::character:  // /dev/null
      why = OpenForWriting(path, status.type() != fs::file_type::not_found);
      break;
    case fs::file_type::none:
    case fs::file_type::unknown:
      why = error == std::errc::permission_denied ? "permission denied" : error.message();
      break;
    default:
      why = "not a regular file";  // a pipe would hold the run until someone reads it
      break;
  }
  if (why.empty()) {
    return {};
  }
  return Error{"--sim-dump: cannot write " + path + ": " + why};
}

void DumpFixtureFlash(DriverSet& drivers, const std::string& uid, const std::string& path,
                      std::ostream& err) {
  SimulatedLine* line = drivers.simulated_line();
  if (path.empty() || line == nullptr || line->adapter_count() == 0) {
    return;
  }
  for (int a = 0; a < line->adapter_count(); ++a) {
    for (int i = 0; i < line->fixture_count(a); ++i) {
      if (FormatUid(line->fixture(a, i).config().uid) == uid) {
        Dump(line->fixture(a, i), path, err);
        return;
      }
    }
  }
  if (line->fixture_count(0) > 0) {
    Dump(line->fixture(0, 0), path, err);
  }
}

void DumpLineFlash(DriverSet& drivers, const std::string& path, bool all_adapters, int adapter,
                   std::ostream& err) {
  SimulatedLine* line = drivers.simulated_line();
  if (path.empty() || line == nullptr || line->adapter_count() == 0) {
    return;
  }
  for (int i = 0; i < line->fixture_count(0); ++i) {
    Dump(line->fixture(0, i), FixtureDumpPath(path, all_adapters, adapter, i), err);
  }
}

std::string AdapterDumpPath(const std::string& path, int adapter) {
  return path.empty() ? path : path + "." + std::to_string(adapter);
}

std::string FixtureDumpPath(const std::string& path, bool all_adapters, int adapter, int fixture) {
  return path + (all_adapters ? "." + std::to_string(adapter) : std::string()) + "." +
         std::to_string(fixture);
}

}  // namespace quillmont::cli
