// HRV: metric names, interval extraction and artefact filter, the metric
// computations and the two estimators.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "signal/hrv.hpp"

using namespace orvane;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Beats at the given sample positions; at 1000 Hz a position is a time in ms.
PeakSequence beats(std::initializer_list<float> positions) {
  PeakSequence s;
  for (const float p : positions) s.push_back(Peak{static_cast<std::uint64_t>(p), p, 1.0f});
  return s;
}

std::vector<float> sine(std::size_t n, float hz, float fs) {
  std::vector<float> x(n);
  for (std::size_t j = 0; j < n; ++j) {
    x[j] = static_cast<float>(std::sin(2.0 * M_PI * hz * static_cast<double>(j) / fs));
  }
  return x;
}

}  // namespace

TEST(ParseHrvMetric, AcceptsTableNamesInAnyCase) {
  struct Case { std::string name; HrvMetric want; };
  const Case cases[] = {
      {"sdnn", HrvMetric::Sdnn},          {"SDNN", HrvMetric::Sdnn},
      {"hrv_sdnn", HrvMetric::Sdnn},      {"Hrv_RmSSD", HrvMetric::Rmssd},
      {"rmssd", HrvMetric::Rmssd},        {"LFHF", HrvMetric::LfHf},
      {"hrv_lfhf", HrvMetric::LfHf},      {"Si", HrvMetric::StressIndex},
      {"STRESS_INDEX", HrvMetric::StressIndex}, {"pNN50", HrvMetric::Pnn50},
      {"HRV_PNN50", HrvMetric::Pnn50},    {"sd1sd2", HrvMetric::Sd1Sd2},
      {"hrv_SD1SD2", HrvMetric::Sd1Sd2},
  };
  for (const Case& c : cases) {
    const std::optional<HrvMetric> got = parse_hrv_metric(c.name);
    ASSERT_TRUE(got.has_value()) << c.name;
    EXPECT_EQ(*got, c.want) << c.name;
  }
}

TEST(ParseHrvMetric, RefusesOtherNames) {
  const std::string refused[] = {
      "hrv_si", "hrv_stress_index", "", "sdnn ", "sdn", "hrv-sdnn", "stress index",
      "\xEF\xBC\xB3\xEF\xBC\xA4\xEF\xBC\xAE\xEF\xBC\xAE",  // fullwidth SDNN
      "\xC5\xBF" "dnn",                                     // U+017F long s: lower-cases to itself
      "STRESS_\xC4\xB0NDEX",                                // U+0130: lower-cases to i + dot above
      std::string("sdnn\0", 5),
  };
  for (const std::string& name : refused) {
    EXPECT_FALSE(parse_hrv_metric(name).has_value()) << name;
  }
  EXPECT_EQ(kInvalidHrvMetric, "Invalid HRV metric");
}

TEST(NnIntervals, ExtractionAndArtefactFilter) {
  struct Case {
    const char* name;
    std::vector<PeakSequence> sequences;
    std::vector<float> confidence;
    std::vector<float> intervals;
    float quality;
  };
  std::vector<float> gated(3000, 0.9f);
  gated[800] = 0.6f;
  gated[2100] = 0.4f;  // the beat at 2100 fails the gate: both its intervals go
  const Case cases[] = {
      // Median of the plausible raw intervals is 810; 800 passes, 1300 is
      // more than 25 % from 800, 810 passes.
      {"jump filter", {beats({0, 800, 2100, 2910})}, {}, {800, 810}, 1},
      // A lone raw interval skips the range and median checks.
      {"single raw interval", {beats({0, 250})}, {}, {250}, 1},
      {"nothing plausible", {beats({0, 100, 250})}, {}, {}, 0},
      {"implausible dropped", {beats({0, 250, 1050})}, {}, {800}, 1},
      // Even count: the upper median (800) is the reference, so 590 is
      // rejected; the lower one would have kept 590 and dropped 800.
      {"upper median", {beats({0, 590, 1390})}, {}, {800}, 1},
      // No interval across sequences.
      {"sequences", {beats({0, 800}), beats({5000, 5810})}, {}, {800, 810}, 1},
      {"low confidence", {beats({0, 800, 1600})}, std::vector<float>(2000, 0.4f), {}, 0},
      {"nan confidence", {beats({0, 800, 1600})}, std::vector<float>(2000, kNaN), {}, 0},
      // Quality is the smallest gated end-point confidence.
      {"quality", {beats({0, 800, 1600})}, gated, {800, 800}, 0.6f},
      {"gate", {beats({0, 800, 2100, 2900})}, gated, {800}, 0.6f},
      // Beats past the confidence vector count as fully confident.
      {"short confidence", {beats({0, 800, 1600})}, std::vector<float>(900, 0.7f), {800, 800}, 0.7f},
      {"equal positions", {beats({0, 0, 800})}, {}, {800}, 1},
      {"no beats", {}, {}, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const NnIntervals nn = nn_intervals(c.sequences, {}, c.confidence, 1000);
    ASSERT_EQ(nn.intervals_ms.size(), c.intervals.size());
    for (std::size_t i = 0; i < c.intervals.size(); ++i) {
      EXPECT_NEAR(nn.intervals_ms[i], c.intervals[i], 1e-3f);
    }
    EXPECT_FLOAT_EQ(nn.quality, c.quality);
  }
}

TEST(NnIntervals, TimedByTimestamps) {
  // 10 Hz capture although fs says 30: 8 samples are 800 ms.
  std::vector<double> timestamps(40);
  for (std::size_t i = 0; i < timestamps.size(); ++i) timestamps[i] = 0.1 * static_cast<double>(i);
  const std::vector<PeakSequence> sequences{beats({0, 8, 16.5f})};
  const NnIntervals nn = nn_intervals(sequences, timestamps, {}, 30);
  ASSERT_EQ(nn.intervals_ms.size(), 2u);
  EXPECT_NEAR(nn.intervals_ms[0], 800.0f, 1e-3f);
  EXPECT_NEAR(nn.intervals_ms[1], 850.0f, 1e-3f);
}

TEST(HrvMetrics, Values) {
  const std::vector<float> steady{800, 810, 790, 805, 795};
  struct Case { const char* name; HrvMetric metric; std::vector<float> x; float want; float tol; };
  const Case cases[] = {
      {"sdnn", HrvMetric::Sdnn, steady, 7.905694f, 1e-4f},
      {"rmssd", HrvMetric::Rmssd, steady, 14.361407f, 1e-4f},
      {"pnn50 none", HrvMetric::Pnn50, steady, 0, 0},
      {"pnn50", HrvMetric::Pnn50, {800, 900, 880, 800}, 200.0f / 3, 1e-4f},
      // Reference from the same formulas in double precision; mean(s^2) -
      // mean(s)^2 cancels at s ~ 1130 in single precision (~0.5 % here).
      {"sd1sd2", HrvMetric::Sd1Sd2, steady, 2.6257831f, 0.02f},
      // Bins 16, 16, 15, 16, 15: AMo 60 %, Mo 0.825 s, MxDMn 0.02 s.
      {"stress", HrvMetric::StressIndex, steady, 60.0f / (2 * 0.825f * 0.02f), 1e-2f},
      {"sdnn of two", HrvMetric::Sdnn, {800, 810}, 7.0710678f, 1e-4f},
      // Too few intervals for the metric.
      {"sdnn single", HrvMetric::Sdnn, {800}, 0, 0},
      {"rmssd single", HrvMetric::Rmssd, {800}, 0, 0},
      {"pnn50 single", HrvMetric::Pnn50, {800}, 0, 0},
      {"lfhf single", HrvMetric::LfHf, {800}, 0, 0},
      {"sd1sd2 of two", HrvMetric::Sd1Sd2, {800, 900}, 0, 0},
      {"stress of four", HrvMetric::StressIndex, {800, 850, 900, 950}, 0, 0},
      {"empty", HrvMetric::Sdnn, {}, 0, 0},
      // Constant differences: SD1 is 0 although rounding makes its radicand
      // slightly negative (a bare sqrt would give NaN).
      {"sd1sd2 steady drift", HrvMetric::Sd1Sd2, {746, 730, 714, 698, 682, 666}, 0, 0},
      {"sd1sd2 constant", HrvMetric::Sd1Sd2, {800, 800, 800}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(hrv_metric_value(c.metric, c.x), c.want, c.tol);
  }
}

TEST(HrvMetrics, StressIndexHistogram) {
  struct Case { const char* name; std::vector<float> x; float want; };
  const Case cases[] = {
      // Bins 16 (two), 17, 18, 20: AMo 40 %, Mo 0.825 s, MxDMn 0.2 s.
      {"worked", {800, 800, 850, 900, 1000}, 121.21212f},
      // Bins 16 and 18 both hold two: the higher wins (Mo 0.925 s), the
      // lower would have given 121.2.
      {"tie", {800, 800, 900, 900, 1000}, 40.0f / (2 * 0.925f * 0.2f)},
      {"flat", {800, 800, 800, 800, 800}, 0},
      // Beyond 50 ms bins, far from the mode: the histogram follows the data.
      {"wide", {800, 800, 800, 810, 1e30f}, 0.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(stress_index(c.x), c.want, 1e-2f);
  }
}

TEST(HrvMetrics, LfHfFollowsTheModulationBand) {
  // Intervals of 1000 +- 50 ms modulated at 0.1 Hz (LF) or 0.25 Hz (HF).
  auto modulated = [](double hz) {
    std::vector<float> x;
    double t = 0;
    for (int i = 0; i < 150; ++i) {
      const float v = static_cast<float>(1000 + 50 * std::sin(2 * M_PI * hz * t));
      x.push_back(v);
      t += v / 1000.0;
    }
    return x;
  };
  EXPECT_GT(lf_hf_ratio(modulated(0.1)), 20.0f);
  EXPECT_LT(lf_hf_ratio(modulated(0.25)), 0.05f);
  EXPECT_EQ(lf_hf_ratio(std::vector<float>{800}), 0.0f);
  EXPECT_EQ(lf_hf_ratio(std::vector<float>{}), 0.0f);
}

TEST(EstimateHrv, FromDetections) {
  const std::vector<PeakSequence> sequences{beats({0, 800, 1610, 2400, 3205, 4000})};
  const auto [value, confidence] =
      estimate_hrv_metric_from_detections(sequences, HrvMetric::Sdnn, {}, {}, 1000);
  EXPECT_NEAR(value, 7.905694f, 1e-3f);
  EXPECT_EQ(confidence, 1.0f);

  // A lone 250 ms interval: the value is 0 but it is an estimate.
  const std::vector<PeakSequence> lone{beats({0, 250})};
  const auto [lone_value, lone_confidence] =
      estimate_hrv_metric_from_detections(lone, HrvMetric::Rmssd, {}, {}, 1000);
  EXPECT_EQ(lone_value, 0.0f);
  EXPECT_EQ(lone_confidence, 1.0f);

  const auto [low_value, low_confidence] = estimate_hrv_metric_from_detections(
      sequences, HrvMetric::Sdnn, {}, std::vector<float>(5000, 0.4f), 1000);
  EXPECT_EQ(low_value, 0.0f);
  EXPECT_EQ(low_confidence, 0.0f);
}

TEST(EstimateHrv, FromSignal) {
  // 30 s of a 72 per minute pulse: steady 833.3 ms intervals.
  const std::vector<float> pulse = sine(900, 1.2f, 30);
  struct Case { const char* name; std::vector<float> confidence; float want_confidence; };
  // Beats fall on samples 6 + 25 k.
  auto at_beats = [](float on_beat, float elsewhere) {
    std::vector<float> c(900, elsewhere);
    for (std::size_t j = 6; j < c.size(); j += 25) c[j] = on_beat;
    return c;
  };
  std::vector<float> with_nan(900, 0.9f);
  with_nan[3] = kNaN;  // no beat there; the mean turns NaN and quality decides
  const Case cases[] = {
      {"no confidence", {}, 0.0f},
      {"uniform", std::vector<float>(900, 0.9f), 0.9f},
      {"mean below quality", at_beats(1.0f, 0.5f), (0.5f * 900 + 0.5f * 36) / 900},
      {"quality below mean", at_beats(0.55f, 1.0f), 0.55f},
      {"NaN mean", with_nan, 0.9f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [value, confidence] = estimate_hrv_metric(pulse, HrvMetric::Sdnn, {}, c.confidence,
                                                         30, 40, 220, std::nullopt);
    EXPECT_LT(value, 5.0f);
    EXPECT_NEAR(confidence, c.want_confidence, 1e-5f);
  }
  const auto [rmssd, rmssd_conf] = estimate_hrv_metric(pulse, HrvMetric::Rmssd, {},
                                                       std::vector<float>(900, 1.0f), 30, 40, 220,
                                                       std::nullopt);
  EXPECT_LT(rmssd, 5.0f);
  EXPECT_EQ(rmssd_conf, 1.0f);
  // Too short to hold a beat pair: no estimate.
  const auto [none, none_conf] = estimate_hrv_metric(std::vector<float>(2, 1.0f), HrvMetric::Sdnn,
                                                     {}, {}, 30, 40, 220, std::nullopt);
  EXPECT_EQ(none, 0.0f);
  EXPECT_EQ(none_conf, 0.0f);
}
