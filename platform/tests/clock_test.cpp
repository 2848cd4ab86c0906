#include "platform/clock.h"

#include <gtest/gtest.h>

TEST(Clock, ManualClockMovesOnlyWhenTold) {
  platform::ManualClock clock;
  EXPECT_EQ(clock.ticksMs(), 0u);
  clock.sleepFor(std::chrono::milliseconds(250));
  clock.advance(std::chrono::seconds(2));
  EXPECT_EQ(clock.ticksMs(), 2250u);
}

TEST(Clock, SystemClockIsMonotonic) {
  auto& clock = platform::SystemClock::instance();
  auto a = clock.now();
  clock.sleepFor(std::chrono::milliseconds(2));
  EXPECT_GE(clock.now() - a, std::chrono::milliseconds(2));
}
