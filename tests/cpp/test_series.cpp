// Per-frame signal history: merging of frames that arrive twice, forward fill
// of new frames, trimming and clearing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "state/series.hpp"

using orvane::Series;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Builds a series by pushing `pushes` in order, each with its overlap count.
struct Push {
  std::vector<float> values;
  std::uint64_t overlap;
};

Series build(const std::vector<Push>& pushes) {
  Series s;
  for (const Push& p : pushes) s.push(p.values, p.overlap);
  return s;
}

void expect_values(const Series& s, const std::vector<float>& expected) {
  const std::vector<float> got = s.averaged();
  ASSERT_EQ(got.size(), expected.size());
  ASSERT_EQ(s.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (std::isnan(expected[i])) {
      EXPECT_TRUE(std::isnan(got[i])) << "entry " << i;
    } else {
      EXPECT_FLOAT_EQ(got[i], expected[i]) << "entry " << i;
    }
  }
}

struct PushCase {
  std::string name;
  std::vector<Push> pushes;
  std::vector<float> expected;
};

void PrintTo(const PushCase& c, std::ostream* os) { *os << c.name; }

class SeriesPush : public ::testing::TestWithParam<PushCase> {};

TEST_P(SeriesPush, AveragedValues) {
  const PushCase& c = GetParam();
  expect_values(build(c.pushes), c.expected);
}

// The third push of each multi-step case probes the counts left by the earlier
// ones: merging one more value into a frame weighs it by the frame's count.
INSTANTIATE_TEST_SUITE_P(
    Cases, SeriesPush,
    ::testing::Values(
        PushCase{"MergeOneAppendOne", {{{1, 2, 3}, 0}, {{5, 7}, 1}}, {1, 2, 4, 7}},
        // Entry 2 holds sum 8 over count 2, entry 3 sum 7 over count 1.
        PushCase{"MergedCountsWeighLaterMerges",
                 {{{1, 2, 3}, 0}, {{5, 7}, 1}, {{11, 9}, 2}},
                 {1, 2, 19.0f / 3.0f, 8}},
        PushCase{"LeadingNaNsBecomeZeroThenForwardFill", {{{kNaN, 5, kNaN}, 0}}, {0, 5, 5}},
        // The NaN merges nothing (count stays 1), so a later merge halves.
        PushCase{"NaNMergeLeavesFrameUnchanged", {{{4}, 0}, {{kNaN, 9}, 1}, {{6, kNaN}, 2}},
                 {5, 9}},
        PushCase{"OverlapLargerThanSeries", {{{1}, 0}, {{3, 4, 5}, 10}}, {2, 4, 5}},
        PushCase{"OverlapWholeBatchAppendsNothing", {{{1, 2, 3}, 0}, {{5, 7}, 2}}, {1, 3.5f, 5}},
        PushCase{"OverlapOnEmptySeriesAppendsAll", {{{3, 4}, 5}}, {3, 4}},
        // Forward fill starts from the newest frame's mean after the merge.
        PushCase{"CarryIsMergedMean", {{{2}, 0}, {{4, kNaN}, 1}}, {3, 3}},
        PushCase{"InfinityIsAValue", {{{1, kInf, kNaN}, 0}}, {1, kInf, kInf}},
        PushCase{"EmptyPush", {{{1, 2}, 0}, {{}, 1}, {{}, 0}}, {1, 2}}),
    [](const auto& info) { return info.param.name; });

TEST(Series, TruncateFrontKeepsNewest) {
  Series s = build({{{1, 2, 3, 4, 5}, 0}});
  s.truncate_front(10);
  expect_values(s, {1, 2, 3, 4, 5});
  s.truncate_front(2);
  expect_values(s, {4, 5});
  // Merges after trimming still land on the newest frames.
  s.push(std::vector<float>{6, 8}, 1);
  expect_values(s, {4, 5.5f, 8});
  s.truncate_front(0);
  expect_values(s, {});
}

TEST(Series, ClearEmptiesAndStartsAfresh) {
  Series s = build({{{7, 8}, 0}});
  s.clear();
  expect_values(s, {});
  // After clearing, leading NaNs fill from zero again, not from the old data.
  s.push(std::vector<float>{kNaN, 2}, 0);
  expect_values(s, {0, 2});
}

}  // namespace
