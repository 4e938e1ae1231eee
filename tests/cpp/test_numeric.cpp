// The shared numeric rules: truncating saturating conversions, rounding half
// away from zero and NaN-ignoring min/max.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "types/numeric.hpp"

using namespace orvane;

TEST(Numeric, SaturatingUnsignedConversions) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case { float in; std::uint64_t u64; std::uint32_t u32; };
  const Case cases[] = {
      {0.0f, 0, 0},   {0.99f, 0, 0},          {4.54f, 4, 4},   {-3.0f, 0, 0},
      {nan, 0, 0},    {-inf, 0, 0},
      {inf, std::numeric_limits<std::uint64_t>::max(), std::numeric_limits<std::uint32_t>::max()},
      {1e20f, std::numeric_limits<std::uint64_t>::max(), std::numeric_limits<std::uint32_t>::max()},
      {5e9f, 5000000000ull, std::numeric_limits<std::uint32_t>::max()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(to_u64(c.in), c.u64) << c.in;
    EXPECT_EQ(to_u32(static_cast<double>(c.in)), c.u32) << c.in;
  }
  EXPECT_EQ(seconds_to_frames(60.0f, 29.97f), 1798u);
  EXPECT_EQ(seconds_to_frames(60.0f, -30.0f), 0u);
}

TEST(Numeric, SignedSaturationAndRounding) {
  EXPECT_EQ(to_i32_saturating(std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(to_i32_saturating(3e9f), 2147483647);
  EXPECT_EQ(to_i32_saturating(-3e9f), -2147483647 - 1);
  EXPECT_EQ(to_i32_saturating(-7.9f), -7);
  EXPECT_EQ(round_half_away(2.5f), 3.0f);
  EXPECT_EQ(round_half_away(-2.5f), -3.0f);
  EXPECT_EQ(round_half_away(20.49f), 20.0f);
}

TEST(Numeric, MinMaxIgnoreNaN) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(nan_min(nan, 2.0f), 2.0f);
  EXPECT_EQ(nan_min(2.0f, nan), 2.0f);
  EXPECT_EQ(nan_max(nan, -1.0f), -1.0f);
  EXPECT_TRUE(std::isnan(nan_max(nan, nan)));
}
