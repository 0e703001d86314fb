// SPDX-License-Identifier: Apache-2.0
// Seeded firmware updates with random faults on the simulated line and fixture: a reported
// success always leaves the flash holding the image and its signature, every other run ends in
// one of the abort paths, and no run outlasts what its waits and attempt budgets allow.
#include <gtest/gtest.h>

#include <string>

#include "soak_run.h"

namespace quillmont::soak {
namespace {

const std::string kExamples = std::string(QUILLMONT_SOURCE_DIR) + "/examples";

std::string Explain(const SoakCase& c, const SoakResult& r) {
  std::string text = "seed " + std::to_string(c.seed) + ": " + c.description + " -> " +
                     OutcomeName(r.outcome) + " after " + std::to_string(r.ticks) + " ticks";
  for (const std::string& broken : r.broken) {
    text += "\n  " + broken;
  }
  const size_t tail = r.log.size() > 600 ? r.log.size() - 600 : 0;
  return text + "\n  log ends: " + r.log.substr(tail);
}

TEST(Soak, EveryExampleUpdatesOnACleanLine) {
  for (const Pacing pacing : {Pacing::kTick, Pacing::kEvent}) {
    for (int example = 0; example < ExampleCount(); ++example) {
      SoakCase c = CleanSoakCase(example, kExamples);
      c.pacing = pacing;
      const SoakResult r = RunSoakCase(c);
      EXPECT_EQ(r.outcome, Outcome::kSuccess) << Explain(c, r);
      EXPECT_TRUE(r.flash_holds_image)
          << Explain(c, r) << "\n  first mismatch at " << r.first_mismatch;
      EXPECT_TRUE(r.broken.empty()) << Explain(c, r);
    }
  }
}

TEST(Soak, SeededFaultyUpdatesNeverReportAWrongFlashNorHang) {
  for (const Pacing pacing : {Pacing::kTick, Pacing::kEvent}) {
    SoakTotals totals;
    for (uint64_t seed = 1; seed <= 40; ++seed) {
      SoakCase c = MakeSoakCase(seed, kExamples);
      c.pacing = pacing;
      const SoakResult r = RunSoakCase(c);
      totals.Add(c, r);
      EXPECT_TRUE(r.broken.empty())
          << (pacing == Pacing::kEvent ? "event: " : "tick: ") << Explain(c, r);
    }
    EXPECT_EQ(totals.wrong_flashes, 0);
    EXPECT_EQ(totals.hangs, 0);
    EXPECT_EQ(totals.over_bound, 0);
    // The faults really bite, and most updates still get through.
    EXPECT_GT(totals.successes, totals.runs / 2);
    EXPECT_GT(totals.runs - totals.successes, 0);
  }
}

}  // namespace
}  // namespace quillmont::soak
