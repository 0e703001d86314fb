#include "cli/sim_dump.h"

#include "sim/nor_flash.h"
#include "sim/simulated_line.h"

namespace quillmont::cli {
namespace {

void Dump(const SimulatedFixture& fixture, const std::string& path, std::ostream& err) {
  if (const Status dumped = DumpFlash(fixture.flash(), path); !dumped) {
    err << dumped.error().message << '\n';
  }
}

}  // namespace

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
