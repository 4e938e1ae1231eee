// Interpolation, z-score, moving average, the two cutoff rules and the
// smoothness-priors detrender.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "signal/filters.hpp"

using namespace orvane;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

void expect_near_all(const std::vector<float>& got, const std::vector<float>& want, float tol) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (std::isnan(want[i])) {
      EXPECT_TRUE(std::isnan(got[i])) << "at " << i;
    } else {
      EXPECT_NEAR(got[i], want[i], tol) << "at " << i;
    }
  }
}

}  // namespace

TEST(InterpolateLinear, ClampsOutsideAndInterpolatesInside) {
  expect_near_all(interpolate_linear({{0, 1, 2}}, {{0, 10, 20}}, {{-1, 0.5f, 1.5f, 5}}),
                  {0, 5, 15, 20}, 0);
  // A NaN query gives NaN, also with a single position (no segment at all).
  expect_near_all(interpolate_linear({{0, 1, 2}}, {{0, 10, 20}}, {{kNaN, 2}}), {kNaN, 20}, 0);
  expect_near_all(interpolate_linear({{1}}, {{7}}, {{0, kNaN, 3}}), {7, kNaN, 7}, 0);
}

TEST(InterpolateLinear, CursorNeverMovesBack) {
  // After 1.5 the cursor stands on segment [1, 2]; the later, smaller query
  // extrapolates that segment (10 + 20 * -0.5) instead of searching back.
  expect_near_all(interpolate_linear({{0, 1, 2}}, {{0, 10, 30}}, {{1.5f, 0.5f}}), {20, 0}, 1e-6f);
}

TEST(InterpolateLinear, MismatchedOrEmptyPositionsGiveNaN) {
  expect_near_all(interpolate_linear({{0, 1, 2}}, {{0, 10}}, {{-1, 0.5f, 1.5f, 5}}),
                  {kNaN, kNaN, kNaN, kNaN}, 0);
  expect_near_all(interpolate_linear({}, {}, {{1, 2}}), {kNaN, kNaN}, 0);
  EXPECT_TRUE(interpolate_linear({{0, 1}}, {{0}}, {}).empty());
}

TEST(Standardize, SkipsNonFiniteSamplesAndZeroesFlatSignals) {
  expect_near_all(standardize({{1, kNaN, 3}}), {-1, 0, 1}, 1e-6f);
  expect_near_all(standardize({{1, kInf, 3, -kInf}}), {-1, 0, 1, 0}, 1e-6f);
  expect_near_all(standardize({{4, 4, 4}}), {0, 0, 0}, 0);
  expect_near_all(standardize({{kNaN, kInf}}), {0, 0}, 0);
  // Deviation 5e-7 is below the floor.
  expect_near_all(standardize({{1.0f, 1.000001f}}), {0, 0}, 0);
  EXPECT_TRUE(standardize({}).empty());
}

TEST(MovingAverage, CentredWindowShrinksAtTheEnds) {
  const std::vector<float> x{1, 2, 3, 4, 5};
  struct Case { std::uint64_t window; std::vector<float> want; };
  const Case cases[] = {
      {3, {1.5f, 2, 3, 4, 4.5f}},
      {4, {2, 2.5f, 3, 3.5f, 4}},  // an even window averages the next odd count
      {0, {1, 2, 3, 4, 5}},
      {1, {1, 2, 3, 4, 5}},
      {9, {3, 3, 3, 3, 3}},
      {std::numeric_limits<std::uint64_t>::max(), {3, 3, 3, 3, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.window);
    expect_near_all(moving_average(x, c.window), c.want, 1e-6f);
  }
  EXPECT_TRUE(moving_average({}, 5).empty());
  expect_near_all(moving_average({{1, kNaN, 3, 4, 5}}, 3), {kNaN, kNaN, kNaN, 4, 4.5f}, 1e-6f);
}

TEST(MovingAverage, SumsEachWindowAfresh) {
  // A running sum would carry the rounding error of 1e8 into the later,
  // small windows; a fresh sum gives them exactly.
  const std::vector<float> x{1e8f, 1, 1, 1, 1, 1, 1};
  const std::vector<float> out = moving_average(x, 3);
  for (std::size_t j = 2; j < x.size(); ++j) EXPECT_EQ(out[j], 1.0f) << j;
}

TEST(CutoffRules, MovingAverageWindow) {
  struct Case { float fs, cutoff; bool odd; std::uint64_t want; };
  const Case cases[] = {
      {30, 3, true, 3},
      {30, 3, false, 4},
      {30, 220.0f / 60.0f, false, 3},
      {30, 220.0f / 60.0f, true, 3},
      {30, 0, false, 1},
      {0, 3, false, 1},
      {-30, 3, true, 1},
      {30, 15, false, 1},  // g = 0.5 gives 1.39
      {30, kNaN, false, 1},
      {1e8f, 1, false, std::numeric_limits<std::uint64_t>::max()},  // g below 1e-6
  };
  for (const Case& c : cases) {
    EXPECT_EQ(moving_average_window_for_cutoff(c.fs, c.cutoff, c.odd), c.want)
        << c.fs << " " << c.cutoff << " " << c.odd;
  }
}

TEST(CutoffRules, DetrendLambda) {
  EXPECT_NEAR(detrend_lambda_for_cutoff(4, 0.04f), 750.0f, 1e-2f);
  EXPECT_EQ(detrend_lambda_for_cutoff(4, 0.00001f), 0.0f);
  EXPECT_EQ(detrend_lambda_for_cutoff(4, 0), 0.0f);
  EXPECT_EQ(detrend_lambda_for_cutoff(4, -1), 0.0f);
}

TEST(Detrend, LineHasNoResidual) {
  // A line is in the null space of the second difference, so nothing but
  // rounding may be left, also at the strongest smoothing in use (lambda 750
  // for interval series at 4 Hz, where a single-precision solve left
  // residuals of several percent of the level).
  struct Setting { float fs, cutoff, level, slope; };
  const Setting settings[] = {{30, 2.0f, 2.0f, 0.01f}, {4, 0.04f, 800.0f, 0.0f},
                              {4, 0.04f, 800.0f, 0.5f}, {30, 0.5f, 5.0f, -0.02f}};
  for (const Setting& s : settings) {
    for (const std::size_t n : {3u, 4u, 5u, 100u, 1000u}) {
      SCOPED_TRACE(testing::Message() << "n " << n << " fs " << s.fs << " cutoff " << s.cutoff);
      std::vector<float> line(n);
      for (std::size_t j = 0; j < n; ++j) line[j] = s.level + s.slope * static_cast<float>(j);
      for (const float v : detrend(line, s.fs, s.cutoff)) EXPECT_NEAR(v, 0.0f, 1e-3f);
    }
  }
}

TEST(Detrend, DegenerateInputs) {
  expect_near_all(detrend({{5, 7}}, 30, 0.5f), {0, 0}, 0);
  EXPECT_TRUE(detrend({}, 30, 0.5f).empty());
  // lambda 0: the trend is the signal itself.
  expect_near_all(detrend({{3, -1, 4, 1, 5}}, 30, 0.00001f), {0, 0, 0, 0, 0}, 0);
  // A non-finite lambda has no factorisation: the input comes back unchanged.
  const std::vector<float> x{3, -1, 4, 1, 5};
  expect_near_all(detrend(x, kNaN, 0.5f), x, 0);
  expect_near_all(detrend(x, kInf, 0.5f), x, 0);
  // NaN samples propagate.
  const std::vector<float> with_nan = detrend({{1, 2, kNaN, 4, 5, 6}}, 30, 0.5f);
  EXPECT_TRUE(std::isnan(with_nan[2]));
}

TEST(Detrend, KeepsFastOscillationRemovesSlowDrift) {
  // 2 Hz sine riding on an offset and a slow 0.05 Hz swing of amplitude 3,
  // cutoff 0.5 Hz (lambda 270); the tolerance covers the edges of the fit.
  const float fs = 30;
  const std::size_t n = 600;
  std::vector<float> x(n), sine(n);
  for (std::size_t j = 0; j < n; ++j) {
    const double t = static_cast<double>(j) / fs;
    sine[j] = static_cast<float>(std::sin(2 * M_PI * 2.0 * t));
    x[j] = sine[j] + 5.0f + static_cast<float>(3.0 * std::sin(2 * M_PI * 0.05 * t));
  }
  const std::vector<float> out = detrend(x, fs, 0.5f);
  for (std::size_t j = 60; j < n - 60; ++j) EXPECT_NEAR(out[j], sine[j], 0.1f) << j;
}

TEST(Detrend, MatchesDenseSolve) {
  // Independent reference: build I + mu * D2'D2 densely from the difference
  // operator, solve in double by Gaussian elimination, compare.
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> dist(-1, 1);
  for (const std::size_t n : {3u, 4u, 5u, 8u, 13u}) {
    for (const float cutoff : {2.0f, 0.7f}) {
      SCOPED_TRACE(testing::Message() << "n " << n << " cutoff " << cutoff);
      std::vector<float> x(n);
      for (float& v : x) v = dist(rng);
      const double lambda = detrend_lambda_for_cutoff(10, cutoff);
      const double mu = lambda * lambda;
      std::vector<std::vector<double>> a(n, std::vector<double>(n + 1, 0.0));
      for (std::size_t i = 0; i < n; ++i) a[i][i] = 1.0;
      for (std::size_t r = 0; r + 2 < n; ++r) {
        const double d[3] = {1, -2, 1};
        for (int p = 0; p < 3; ++p)
          for (int q = 0; q < 3; ++q) a[r + p][r + q] += mu * d[p] * d[q];
      }
      for (std::size_t i = 0; i < n; ++i) a[i][n] = x[i];
      for (std::size_t c = 0; c < n; ++c)
        for (std::size_t r = c + 1; r < n; ++r) {
          const double f = a[r][c] / a[c][c];
          for (std::size_t k = c; k <= n; ++k) a[r][k] -= f * a[c][k];
        }
      std::vector<double> z(n);
      for (std::size_t i = n; i-- > 0;) {
        double v = a[i][n];
        for (std::size_t k = i + 1; k < n; ++k) v -= a[i][k] * z[k];
        z[i] = v / a[i][i];
      }
      const std::vector<float> out = detrend(x, 10, cutoff);
      for (std::size_t i = 0; i < n; ++i) EXPECT_NEAR(out[i], x[i] - z[i], 1e-3) << i;
    }
  }
}
