// Peak detection: the clean sinusoid, merging of close candidates, splitting
// at long gaps, the hint-limited minimum distance, non-finite samples and the
// peak/trough summary.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "signal/peaks.hpp"

using namespace orvane;

namespace {

constexpr float kFs = 30.0f;

std::vector<float> sine(std::size_t n, float hz, float fs = kFs) {
  std::vector<float> x(n);
  for (std::size_t j = 0; j < n; ++j) {
    x[j] = static_cast<float>(std::sin(2.0 * M_PI * hz * static_cast<double>(j) / fs));
  }
  return x;
}

// Options of the Python find_peaks with its defaults.
PeakOptions python_defaults(bool refine) {
  PeakOptions o;
  o.fs = kFs;
  o.refine = refine;
  o.smooth = true;
  return o;
}

// Plain detection on a hand-made fixture: no smoothing, no refinement.
PeakOptions plain() {
  PeakOptions o;
  o.fs = kFs;
  return o;
}

std::vector<std::uint64_t> indices(const std::vector<PeakSequence>& sequences) {
  std::vector<std::uint64_t> out;
  for (const PeakSequence& s : sequences)
    for (const Peak& p : s) out.push_back(p.index);
  return out;
}

std::vector<float> spikes(std::size_t n, std::initializer_list<std::pair<std::size_t, float>> at) {
  std::vector<float> x(n, 0.0f);
  for (const auto& [i, v] : at) x[i] = v;
  return x;
}

}  // namespace

TEST(FindPeaks, ShortOrFlatSignalsHaveNoPeaks) {
  EXPECT_TRUE(find_peaks({{0.0f, 1.0f}}, python_defaults(true)).empty());
  EXPECT_TRUE(find_peaks(std::vector<float>(300, 2.5f), python_defaults(true)).empty());
  EXPECT_TRUE(find_peaks({}, python_defaults(true)).empty());
}

TEST(FindPeaks, CleanSinusoidGivesTwelveRefinedPeaks) {
  // sin(2 pi 1.2 t) at 30 Hz peaks at samples 6.25 + 25 k.
  const std::vector<PeakSequence> found = find_peaks(sine(300, 1.2f), python_defaults(true));
  ASSERT_EQ(found.size(), 1u);
  ASSERT_EQ(found[0].size(), 12u);
  bool any_fractional = false;
  for (std::size_t k = 0; k < 12; ++k) {
    const Peak& p = found[0][k];
    const float truth = 6.25f + 25.0f * static_cast<float>(k);
    EXPECT_LT(std::fabs(p.position - truth), 0.5f) << k;
    EXPECT_EQ(p.index, static_cast<std::uint64_t>(std::lround(truth))) << k;
    EXPECT_NEAR(p.amplitude, 1.0f, 0.01f);
    any_fractional |= p.position != static_cast<float>(p.index);
    if (k > 0) {
      EXPECT_EQ(p.index - found[0][k - 1].index, 25u);
    }
  }
  EXPECT_TRUE(any_fractional);
  // Without refinement the position is the index.
  const std::vector<PeakSequence> unrefined = find_peaks(sine(300, 1.2f), python_defaults(false));
  ASSERT_EQ(unrefined.size(), 1u);
  for (const Peak& p : unrefined[0]) EXPECT_EQ(p.position, static_cast<float>(p.index));
}

TEST(FindPeaks, MergingReplacesOrDrops) {
  // min_dist is 7 samples (220 per minute at 30 Hz).
  struct Case {
    const char* name;
    std::vector<float> x;
    std::vector<std::uint64_t> want;
  };
  const Case cases[] = {
      // Higher, and the earlier peak is below the candidate's left neighbour.
      {"replaced", spikes(40, {{10, 5}, {12, 6}, {13, 7}}), {13}},
      // Higher, but the earlier peak is above both of its neighbours.
      {"kept over higher", spikes(40, {{10, 5}, {12, 4}, {13, 6}, {14, 4.5f}}), {10}},
      {"lower dropped", spikes(40, {{10, 5}, {13, 4}}), {10}},
      // A dropped candidate does not move the distance anchor: 18 is 8 from
      // 10, so it is a new peak (measured from 13 it would have been dropped).
      {"anchor stays", spikes(40, {{10, 5}, {13, 4}, {18, 6}}), {10, 18}},
      {"far apart", spikes(40, {{10, 5}, {17, 4}}), {10, 17}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(indices(find_peaks(c.x, plain())), c.want);
  }
}

TEST(FindPeaks, LongPauseSplitsSequences) {
  // 5 s of 1.2 Hz, 5 s of silence, 5 s of 1.2 Hz: the ~175-sample gap
  // exceeds max_gap = 112 at 40 per minute, not 225 at 20 per minute.
  std::vector<float> x = sine(450, 1.2f);
  for (std::size_t j = 150; j < 300; ++j) x[j] = 0.0f;
  const std::vector<PeakSequence> split = find_peaks(x, python_defaults(true));
  ASSERT_EQ(split.size(), 2u);
  EXPECT_EQ(split[0].size(), 6u);
  EXPECT_EQ(split[1].size(), 6u);
  EXPECT_GT(split[1].front().position - split[0].back().position, 112.0f);

  PeakOptions slow = python_defaults(true);
  slow.min_rate = 20;
  EXPECT_EQ(find_peaks(x, slow).size(), 1u);
}

TEST(FindPeaks, RateHintLimitsMinimumDistance) {
  // Hint 60 on 10 s: r_max = 65 per minute, min_dist = 21 samples.
  PeakOptions hinted = plain();
  hinted.rate_hint = 60.0f;
  const std::vector<float> gap20 = spikes(300, {{100, 5}, {120, 4}});
  const std::vector<float> gap21 = spikes(300, {{100, 5}, {121, 4}});
  EXPECT_EQ(indices(find_peaks(gap20, hinted)), (std::vector<std::uint64_t>{100}));
  EXPECT_EQ(indices(find_peaks(gap21, hinted)), (std::vector<std::uint64_t>{100, 121}));
  EXPECT_EQ(indices(find_peaks(gap20, plain())), (std::vector<std::uint64_t>{100, 120}));
  // A NaN hint leaves max_rate in charge.
  hinted.rate_hint = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(indices(find_peaks(gap20, hinted)), (std::vector<std::uint64_t>{100, 120}));
}

TEST(FindPeaks, NonFiniteSampleOnlySuppressesItsOwnWindows) {
  // The rolling window is 113 samples; a bad sample at 50 can touch windows
  // up to index 106. Later peaks must be exactly those of the clean signal.
  const std::vector<float> clean = sine(600, 1.2f);
  const std::vector<std::uint64_t> clean_peaks = indices(find_peaks(clean, python_defaults(true)));
  for (const float bad : {std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity()}) {
    SCOPED_TRACE(bad);
    std::vector<float> x = clean;
    x[50] = bad;
    std::vector<std::uint64_t> late, clean_late;
    for (const std::uint64_t i : indices(find_peaks(x, python_defaults(true))))
      if (i > 170) late.push_back(i);
    for (const std::uint64_t i : clean_peaks)
      if (i > 170) clean_late.push_back(i);
    EXPECT_FALSE(clean_late.empty());
    EXPECT_EQ(late, clean_late);
  }
}

TEST(FindPeaks, AbsurdOptionsStayInBounds) {
  const std::vector<float> x = sine(300, 1.2f);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const float fs : {0.0f, -30.0f, nan, 1e30f}) {
    for (const float hint : {0.0f, -5.0f, 1e30f}) {
      PeakOptions o = python_defaults(true);
      o.fs = fs;
      o.rate_hint = hint;
      o.max_rate = 1e-3f;  // a smoothing window wider than the signal
      for (const PeakSequence& s : find_peaks(x, o)) {
        ASSERT_FALSE(s.empty());
        for (const Peak& p : s) EXPECT_LT(p.index, x.size());
      }
    }
  }
}

TEST(ParabolicPosition, VertexWithinHalfASample) {
  struct Case { std::vector<float> y; std::size_t index; float want; };
  const Case cases[] = {
      {{0, 3, 2}, 1, 1.25f},          // peak: (0 - 2) / (2 * (0 - 6 + 2))
      {{0, -3, -2}, 1, 1.25f},        // a trough is refined the same way
      {{1, 1, 1}, 1, 1.0f},           // flat: no curvature
      {{0, 1, 5}, 1, 1.0f},           // vertex 1.5 samples away: kept at the index
      {{0, 3, 2}, 0, 0.0f},           // ends stay put
      {{0, 3, 2}, 2, 2.0f},
  };
  for (const Case& c : cases) {
    EXPECT_FLOAT_EQ(parabolic_position(c.y, c.index), c.want) << c.y[0] << c.y[1] << c.y[2];
  }
}

TEST(MeanPeakValue, TroughsAndConfidenceDivisor) {
  // Troughs of exactly -1 every 25 samples: 12 of them at 12, 37, ..., 287.
  std::vector<float> x(300, 0.0f);
  for (std::size_t j = 12; j < 300; j += 25) x[j] = -1.0f;
  // Confidence covers only the first four troughs; the other eight still
  // count in the divisor.
  const std::vector<float> confidence(100, 0.9f);
  const auto [value, conf] = mean_peak_value(x, confidence, true, kFs);
  EXPECT_FLOAT_EQ(value, -1.0f);
  EXPECT_NEAR(conf, 0.9f * 4 / 12, 1e-6f);

  // Upright, the same signal has no peaks standing out.
  const auto [none_value, none_conf] = mean_peak_value(x, confidence, false, kFs);
  EXPECT_EQ(none_value, 0.0f);
  EXPECT_EQ(none_conf, 0.0f);

  const auto [up_value, up_conf] = mean_peak_value(sine(300, 1.2f), {}, false, kFs);
  EXPECT_NEAR(up_value, 1.0f, 0.01f);
  EXPECT_EQ(up_conf, 0.0f);
}
