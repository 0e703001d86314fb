// SPDX-License-Identifier: Apache-2.0
// The user's settings file: what a line gives, and what is warned about and passed over.
#include <gtest/gtest.h>

#include "station/station_settings.h"

namespace quillmont {
namespace {

TEST(StationSettingsTest, LinesAreTakenOrWarnedAboutAndPassedOver) {
  const SettingsReading read = ParseStationSettings(
      "history = off  # the bench's copy\n\n   # a comment\nhistory=maybe\nhistory\n" +
          std::string(2000, 'x') + "\n\x1b[31m = on\n",
      "quillmont.conf");
  EXPECT_FALSE(read.settings.history);
  EXPECT_EQ(read.warnings, (std::vector<std::string>{
                               "quillmont.conf line 4: history wants on or off; ignored.",
                               "quillmont.conf line 5: not \"key = value\"; ignored.",
                               "quillmont.conf line 6: longer than 1024 characters; ignored.",
                               "quillmont.conf line 7: unknown key \"?[31m\"; ignored.",
                           }));
  EXPECT_TRUE(ParseStationSettings("", "quillmont.conf").settings.history);
}

}  // namespace
}  // namespace quillmont
