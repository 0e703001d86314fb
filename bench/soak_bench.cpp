// SPDX-License-Identifier: Apache-2.0
// The fault-injection soak at scale: seeded firmware updates of the bundled examples on the
// simulated line and fixture, each with its own random faults, and a table of how they ended.
//
//   soak_bench [RUNS] [FIRST_SEED] [PACE]     default: 500 runs from seed 1, paced by events
//
// PACE is "event" (replies taken as they come, quillmont-cli's default) or "tick" (the window's
// 10 ms tick alone).
//
// Exits 1 when any run broke an invariant: a success over a wrong flash, a hang, a run longer
// than its waits and attempt budgets allow.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "soak_run.h"

int main(int argc, char** argv) {
  using namespace quillmont::soak;
  const long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 500;
  const long first = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 1;
  const std::string pace = argc > 3 ? argv[3] : "event";
  if (runs <= 0 || runs > 1'000'000 || first < 0 || (pace != "event" && pace != "tick")) {
    std::fprintf(stderr, "usage: soak_bench [RUNS 1..1000000] [FIRST_SEED] [event|tick]\n");
    return 2;
  }
  const std::string examples = std::string(QUILLMONT_SOURCE_DIR) + "/examples";

  SoakTotals totals;
  int64_t ticks = 0;
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < runs; ++i) {
    SoakCase c = MakeSoakCase(static_cast<uint64_t>(first + i), examples);
    c.pacing = pace == "tick" ? quillmont::Pacing::kTick : quillmont::Pacing::kEvent;
    const SoakResult r = RunSoakCase(c);
    totals.Add(c, r);
    ticks += r.ticks;
    for (const std::string& broken : r.broken) {
      std::printf("seed %llu (%s): %s\n", static_cast<unsigned long long>(c.seed),
                  c.description.c_str(), broken.c_str());
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::printf("%s pacing\n\n", pace.c_str());
  std::printf(
      "| runs | faults injected | successes | aborts (budget / operator / no device) "
      "| stays in bootloader | unconfirmed starts | wrong flashes | hangs | over the tick bound "
      "|\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  std::printf("| %d | %d | %d | %d / %d / %d | %d | %d | %d | %d | %d |\n", totals.runs,
              totals.faults, totals.successes, totals.budget_aborts, totals.user_aborts,
              totals.no_device, totals.stays_in_bootloader, totals.unconfirmed,
              totals.wrong_flashes, totals.hangs, totals.over_bound);
  std::printf("\n%lld ticks (%.1f hours of the 10 ms timer) in %.1f s of real time\n",
              static_cast<long long>(ticks), static_cast<double>(ticks) / 360000.0, seconds);
  const bool sound = totals.wrong_flashes == 0 && totals.hangs == 0 && totals.over_bound == 0;
  return sound ? 0 : 1;
}
