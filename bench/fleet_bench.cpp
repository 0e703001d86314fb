// SPDX-License-Identifier: Apache-2.0
// Fleet throughput: quillmont-cli's `flash --all-adapters` on 1, 4 and 16 simulated adapters,
// each adapter's update on its own thread with its own line and fixture. On the real clock each
// thread spends its time waiting on its own line, so the wall time should stay nearly flat as
// adapters are added, even on two cores; the CPU time shows what the cores really do. The same
// runs on the virtual clock (--sim-fast) show the CPU cost alone.
// Usage: fleet_bench [FIRMWARE.srec2]  (default: examples/fixture-app-1.1.srec2)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"

namespace {

struct Figures {
  double wall_s = 0;
  double cpu_s = 0;
  int exit_status = 0;
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

Figures Run(const std::string& file, int adapters, bool fast) {
  const std::string count = std::to_string(adapters);
  // A benchmark's updates are no user's: nothing goes into the update history.
  std::vector<const char*> argv = {"quillmont-cli", "--no-history", "--simulate", "--sim-adapters",
                                   count.c_str()};
  if (fast) {
    argv.push_back("--sim-fast");
  }
  argv.insert(argv.end(), {"flash", "--all-adapters", file.c_str()});
  std::ostringstream out;
  std::ostringstream err;
  const double cpu_before = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  Figures f;
  f.exit_status = quillmont::cli::RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
  f.wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.cpu_s = CpuSeconds() - cpu_before;
  if (f.exit_status != 0) {
    std::fprintf(stderr, "%s", err.str().c_str());
  }
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string file =
      argc > 1 ? argv[1] : std::string(QUILLMONT_SOURCE_DIR) + "/examples/fixture-app-1.1.srec2";
  bool all_good = true;
  for (const bool fast : {false, true}) {
    std::printf("%s\n", fast ? "virtual clock (--sim-fast): CPU cost only"
                             : "real clock: what an operator waits for");
    std::printf("%9s %10s %10s %16s\n", "adapters", "wall s", "CPU s", "wall / 1 adapter");
    double one = 0;
    for (const int adapters : {1, 4, 16}) {
      const Figures f = Run(file, adapters, fast);
      if (adapters == 1) {
        one = f.wall_s;
      }
      std::printf("%9d %10.2f %10.2f %16.2f%s\n", adapters, f.wall_s, f.cpu_s,
                  one > 0 ? f.wall_s / one : 0.0, f.exit_status == 0 ? "" : "  (failed)");
      all_good = all_good && f.exit_status == 0;
    }
    std::printf("\n");
  }
  return all_good ? 0 : 1;
}
