// Power spectrum and spectral rate: transform length and its cap, band bins,
// agreement with a direct double-precision DFT, peak picking and scoring,
// degenerate signals and workspace reuse.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <vector>

#include "signal/fft.hpp"

using namespace orvane;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::vector<float> sine(std::size_t n, float hz, float fs) {
  std::vector<float> x(n);
  for (std::size_t j = 0; j < n; ++j) {
    x[j] = static_cast<float>(std::sin(2.0 * M_PI * hz * static_cast<double>(j) / fs));
  }
  return x;
}

RateEstimate heart(std::span<const float> x, float fs, SpectralWorkspace* ws = nullptr) {
  return estimate_rate(x, fs, RateMethod::periodogram(0.005f), 40, 220, std::nullopt, ws);
}

}  // namespace

TEST(TransformLength, PowerOfTwoCoveringSignalAndResolution) {
  const std::uint64_t cap = kMaxResolutionTransformLength;
  struct Case { std::size_t n; float fs, resolution; std::uint64_t want; };
  const Case cases[] = {
      {300, 30, 0.005f, 8192},   // heart rate: 6000 -> 8192
      {300, 30, 0.01f, 4096},    // respiratory rate: 3000 -> 4096
      {480, 4, 0.001f, 4096},    // LF/HF resampled series
      {5000, 30, 0.005f, 8192},
      {9000, 30, 0.005f, 16384},  // the signal is longer than the resolution asks
      {2, 30, 0.005f, 8192},
      {300, -30, 0.005f, 512},   // a negative or NaN ratio counts as 0
      {300, kNaN, 0.005f, 512},
      // The resolution term is capped; the signal length is not.
      {300, 30, 1e-9f, cap},
      {300, 30, 0.0f, cap},
      {300, 1e30f, 0.005f, cap},
      {3000000, 30, 1e-9f, 4194304},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(transform_length(c.n, c.fs, c.resolution), c.want)
        << c.n << " " << c.fs << " " << c.resolution;
  }
}

TEST(TransformLength, CapBoundsTheSpectrumOfAbsurdResolution) {
  SpectralWorkspace ws;
  periodogram(sine(300, 1.2f, 30), 30, 1e-12f, true, ws);
  EXPECT_EQ(ws.powers().size(), kMaxResolutionTransformLength / 2);
  // A periodic estimate still works at that length.
  const RateEstimate r =
      estimate_rate(sine(300, 1.2f, 30), 30, RateMethod::periodogram(1e-12f), 40, 220, {}, &ws);
  EXPECT_NEAR(r.value, 72.0f, 0.5f);
}

TEST(RateBins, WorkedNumbers) {
  struct Case { float df; std::size_t bins; float min_rate, max_rate; RateBins want; };
  const Case cases[] = {
      {30.0f / 8192, 4096, 40, 220, {182, 1002, 23}},
      {30.0f / 4096, 2048, 3, 60, {6, 137, 12}},
      {30.0f / 8192, 100, 40, 220, {182, 99, 23}},  // band cut at the last bin
      {0.0f, 4096, 40, 220, {std::numeric_limits<std::uint64_t>::max(), 4095,
                             std::numeric_limits<std::uint64_t>::max()}},
  };
  for (const Case& c : cases) {
    const RateBins got = rate_bins(c.df, c.bins, c.min_rate, c.max_rate);
    EXPECT_EQ(got.lo, c.want.lo) << c.df;
    EXPECT_EQ(got.hi, c.want.hi) << c.df;
    EXPECT_EQ(got.half_width, c.want.half_width) << c.df;
  }
  SpectralWorkspace ws;
  periodogram(sine(300, 1.2f, 30), 30, 0.005f, true, ws);
  ASSERT_EQ(ws.frequencies().size(), 4096u);
  EXPECT_FLOAT_EQ(ws.frequencies()[1] - ws.frequencies()[0], 30.0f / 8192);
}

TEST(Periodogram, MatchesDirectDft) {
  std::mt19937 rng(42);
  std::normal_distribution<float> noise(0.0f, 1.0f);
  struct Case { std::size_t n; float fs, resolution; bool window; };
  const Case cases[] = {
      {2, 4, 1.0f, false},   {3, 4, 1.0f, true},      {17, 30, 1.0f, true},
      {100, 30, 0.05f, false}, {300, 30, 0.01f, true}, {513, 30, 1.0f, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "n " << c.n << " window " << c.window);
    std::vector<float> x(c.n);
    for (float& v : x) v = 3.0f + noise(rng);

    SpectralWorkspace ws;
    periodogram(x, c.fs, c.resolution, c.window, ws);
    const std::size_t nfft = transform_length(c.n, c.fs, c.resolution);
    ASSERT_EQ(ws.powers().size(), nfft / 2);

    double mean = 0;
    for (const float v : x) mean += v;
    mean /= static_cast<double>(c.n);
    std::vector<double> y(c.n);
    for (std::size_t j = 0; j < c.n; ++j) {
      const double w =
          c.window ? 0.5 * (1 - std::cos(2 * M_PI * static_cast<double>(j) / (c.n - 1))) : 1.0;
      y[j] = w * (x[j] - mean);
    }
    std::vector<double> reference(nfft / 2);
    double peak = 0;
    for (std::size_t k = 0; k < nfft / 2; ++k) {
      std::complex<double> sum = 0;
      for (std::size_t j = 0; j < c.n; ++j) {
        sum += y[j] * std::polar(1.0, -2 * M_PI * static_cast<double>(j * k % nfft) / nfft);
      }
      reference[k] = std::norm(sum);
      peak = std::max(peak, reference[k]);
    }
    std::size_t compared = 0;
    for (std::size_t k = 0; k < nfft / 2; ++k) {
      EXPECT_FLOAT_EQ(ws.frequencies()[k], c.fs / static_cast<float>(nfft) * k);
      if (reference[k] < 1e-3 * peak) continue;
      ++compared;
      EXPECT_LT(std::fabs(ws.powers()[k] - reference[k]) / reference[k], 1e-4) << "bin " << k;
    }
    EXPECT_GT(compared, 0u);
  }
}

TEST(EstimateRate, CleanSinusoid) {
  const std::vector<float> x = sine(300, 1.2f, 30);
  const RateEstimate r = heart(x, 30);
  EXPECT_EQ(r.method, "Periodogram");
  // Reference figures from the same steps in double precision (NumPy): peak
  // bin 328, rate 72.00034. The Hann main lobe (+-0.2 Hz for 10 s) is wider
  // than the +-1/12 Hz confidence window, so a pure tone scores 0.85967.
  EXPECT_NEAR(r.value, 72.00034f, 0.01f);
  EXPECT_NEAR(r.confidence, 0.85967f, 1e-3f);

  // Respiratory setting: 15 breaths per minute.
  const RateEstimate breath = estimate_rate(sine(900, 0.25f, 30), 30, RateMethod::periodogram(0.01f),
                                            3, 60, std::nullopt, nullptr);
  EXPECT_NEAR(breath.value, 15.0f, 0.3f);
}

TEST(EstimateRate, DegenerateSignalsGiveNoEstimate) {
  const std::vector<float> x = sine(300, 1.2f, 30);
  struct Case { const char* name; std::vector<float> signal; float fs, min_rate, max_rate; };
  const Case cases[] = {
      {"constant", std::vector<float>(300, 4.0f), 30, 40, 220},
      {"zeros", std::vector<float>(300, 0.0f), 30, 40, 220},
      {"one sample", {1.0f}, 30, 40, 220},
      {"empty", {}, 30, 40, 220},
      // 72.0703125 per minute is exactly bin 328, so lo = hi.
      {"min equals max on a bin", x, 30, 72.0703125f, 72.0703125f},
      {"inverted band", x, 30, 220, 40},
      {"zero fs", x, 0, 40, 220},
      {"negative fs", x, -30, 40, 220},
      {"NaN sample", {1.0f, kNaN, 0.5f, 2.0f}, 30, 40, 220},
      {"band beyond spectrum", x, 30, 1e6f, 2e6f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RateEstimate r = estimate_rate(c.signal, c.fs, RateMethod::periodogram(0.005f),
                                         c.min_rate, c.max_rate, std::nullopt, nullptr);
    EXPECT_EQ(r.method, "Periodogram");
    EXPECT_EQ(r.value, 0.0f);
    EXPECT_EQ(r.confidence, 0.0f);
  }
}

TEST(EstimateRate, EqualLimitsBetweenBinsLeaveATwoBinBand) {
  // 72 per minute lies between bins 327 and 328: floor and ceil give a band
  // of two bins, and the estimate stays inside it.
  const RateEstimate r = estimate_rate(sine(300, 1.2f, 30), 30, RateMethod::periodogram(0.005f),
                                       72, 72, std::nullopt, nullptr);
  EXPECT_NEAR(r.value, 72.0f, 30.0f / 8192 * 60);
  EXPECT_FLOAT_EQ(r.confidence, 1.0f);
}

TEST(RateFromSpectrum, PeakPickingAndScoring) {
  // Bins 0.25 Hz apart (15 per minute each); band 30..150 is bins 2..10 and
  // the confidence window is one bin each side.
  std::vector<float> f(16);
  for (std::size_t k = 0; k < f.size(); ++k) f[k] = 0.25f * static_cast<float>(k);
  auto powers = [](std::initializer_list<std::pair<std::size_t, float>> at) {
    std::vector<float> p(16, 1.0f);
    for (const auto& [k, v] : at) p[k] = v;
    return p;
  };
  struct Case {
    const char* name;
    std::vector<float> p;
    float min_rate, max_rate;
    float value, confidence;
  };
  const Case cases[] = {
      // Symmetric neighbours: no offset; window 1 + 4 + 1 of band power 12.
      {"plain", powers({{5, 4}}), 30, 150, 75, 0.5f},
      // Equal maxima at 5 and 7: the lower bin wins.
      {"tie", powers({{5, 4}, {7, 4}}), 30, 150, 75, 6.0f / 15},
      // The lower edge is a valid peak; its window is clipped to the band.
      // Magnitudes 0, 3, 2 put the vertex a quarter bin above bin 2.
      {"lower edge", powers({{1, 0}, {2, 9}, {3, 4}}), 30, 150, 0.25f * 2.25f * 60, 13.0f / 20},
      // Bin 0 and the spectrum's last bin are refused.
      {"bin zero", powers({{0, 9}}), 0, 150, 0, 0},
      {"last bin", powers({{15, 9}}), 30, 1e4f, 0, 0},
      {"all zero", std::vector<float>(16, 0.0f), 30, 150, 0, 0},
      {"all NaN", std::vector<float>(16, kNaN), 30, 150, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RateEstimate r = rate_from_spectrum(f, c.p, c.min_rate, c.max_rate);
    EXPECT_NEAR(r.value, c.value, 1e-4f);
    EXPECT_NEAR(r.confidence, c.confidence, 1e-6f);
  }
}

TEST(EstimateRate, PeakDetectionMethod) {
  const RateMethod method = RateMethod::peak_detection(true, 0.25f);
  const RateEstimate r =
      estimate_rate(sine(300, 1.2f, 30), 30, method, 40, 220, std::nullopt, nullptr);
  EXPECT_EQ(r.method, "PeakDetection");
  EXPECT_NEAR(r.value, 72.0f, 0.5f);
  EXPECT_GT(r.confidence, 0.95f);

  const RateEstimate flat =
      estimate_rate(std::vector<float>(300, 1.0f), 30, method, 40, 220, 70.0f, nullptr);
  EXPECT_EQ(flat.method, "PeakDetection");
  EXPECT_EQ(flat.value, 0.0f);
  EXPECT_EQ(flat.confidence, 0.0f);
}

TEST(SpectralWorkspace, ReuseCarriesNothingBetweenCalls) {
  // Lengths change the transform (8192, 16384, 8192); a reused workspace
  // must give the same bits as a fresh one every time.
  const std::vector<std::vector<float>> signals{sine(300, 1.2f, 30), sine(9000, 1.5f, 30),
                                                sine(200, 2.0f, 30)};
  SpectralWorkspace reused;
  for (int round = 0; round < 2; ++round) {
    for (const std::vector<float>& x : signals) {
      const RateEstimate a = heart(x, 30, &reused);
      SpectralWorkspace fresh;
      const RateEstimate b = heart(x, 30, &fresh);
      EXPECT_EQ(a.value, b.value);
      EXPECT_EQ(a.confidence, b.confidence);
      ASSERT_EQ(reused.powers().size(), fresh.powers().size());
      for (std::size_t k = 0; k < fresh.powers().size(); ++k) {
        ASSERT_EQ(reused.powers()[k], fresh.powers()[k]) << k;
      }
    }
  }
  // A moved-from workspace is still usable.
  SpectralWorkspace moved = std::move(reused);
  EXPECT_NEAR(heart(signals[0], 30, &moved).value, 72.0f, 0.2f);
  EXPECT_NEAR(heart(signals[0], 30, &reused).value, 72.0f, 0.2f);  // NOLINT(bugprone-use-after-move)
  periodogram(std::vector<float>{1.0f}, 30, 0.005f, true, moved);
  EXPECT_TRUE(moved.powers().empty());
  EXPECT_TRUE(moved.frequencies().empty());
}
