#include <gtest/gtest.h>

#include <sstream>

#include "link/line.h"
#include "support/scripted_driver.h"

namespace quillmont {
namespace {

using testing::ScriptedDriver;

TEST(ReadWithTimeout, ReadsThreeOfFiveWaitingBytesAfterOnePoll) {
  VirtualClock clock;
  ScriptedDriver driver(clock);
  std::ostringstream diag;
  LineIo io{driver, clock, diag};
  LinkHandle link = driver.handle();
  driver.Deliver({1, 2, 3, 4, 5});
  uint8_t buffer[8] = {};
  EXPECT_EQ(ReadWithTimeout(io, link, buffer, 3, 1), 3);
  EXPECT_EQ(clock.sleep_calls(), 1u);
  EXPECT_EQ(buffer[2], 3);
  EXPECT_EQ(driver.Pending(), 2u);
}

}  // namespace
}  // namespace quillmont
