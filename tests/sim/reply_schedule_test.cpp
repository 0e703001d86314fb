// SPDX-License-Identifier: Apache-2.0
// The timed reply bytes of quillmont-sim: their order and times, collisions, and the bound.
#include "sim/pty/reply_schedule.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillmont::sim {
namespace {

TEST(ReplySchedule, BytesFallDueOneSpanApartAndStayUntilConsumed) {
  ReplySchedule schedule;
  const uint8_t bytes[3] = {0x11, 0x22, 0x33};
  schedule.Add(bytes, 3, 1000, 44);
  EXPECT_EQ(schedule.NextDueMicros(), 1044u);
  EXPECT_TRUE(schedule.Due(1043).empty());
  EXPECT_EQ(schedule.Due(1088), (std::vector<uint8_t>{0x11, 0x22}));
  schedule.Consume(1);  // the host took one of them
  EXPECT_EQ(schedule.Due(1132), (std::vector<uint8_t>{0x22, 0x33}));
  schedule.Consume(5);
  EXPECT_TRUE(schedule.empty());
  EXPECT_FALSE(schedule.NextDueMicros().has_value());
}

TEST(ReplySchedule, OverlappingBytesCollideAndLaterOnesQueueBehind) {
  ReplySchedule schedule;
  const uint8_t first[2] = {0xF0, 0x0F};
  const uint8_t second[2] = {0x3C, 0xFF};
  schedule.Add(first, 2, 0, 44);
  schedule.Add(second, 2, 10, 44);  // a little later: each byte meets its partner
  const uint8_t third[1] = {0x81};
  schedule.Add(third, 1, 88, 44);  // starts as the first reply ends: no overlap
  EXPECT_EQ(schedule.Due(1000), (std::vector<uint8_t>{0x30, 0x0F, 0x81}));

  ReplySchedule apart;
  apart.Add(first, 2, 0, 44);
  apart.Add(second, 2, 88, 44);  // one whole reply after the other
  EXPECT_EQ(apart.Due(1000), (std::vector<uint8_t>{0xF0, 0x0F, 0x3C, 0xFF}));
}

TEST(ReplySchedule, BytesBeyondTheBoundAreLost) {
  ReplySchedule schedule;
  std::vector<uint8_t> flood(kReplyScheduleCapacity + 10, 0x55);
  schedule.Add(flood.data(), flood.size(), 0, 44);
  EXPECT_EQ(schedule.size(), kReplyScheduleCapacity);
  EXPECT_EQ(schedule.lost(), 10u);
}

}  // namespace
}  // namespace quillmont::sim
