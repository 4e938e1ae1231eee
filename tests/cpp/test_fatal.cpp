// The one exit for broken invariants: it must say where and why, then abort.
#include <gtest/gtest.h>

#include "types/numeric.hpp"

TEST(FatalDeathTest, AssertionPrintsLocationAndAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(ORVANE_ASSERT(1 + 1 == 3), "test_fatal.cpp:[0-9]+: assertion failed: 1 \\+ 1 == 3");
}
