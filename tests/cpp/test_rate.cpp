// Detection times and the rate from detections.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "signal/rate.hpp"

using namespace orvane;

namespace {

PeakSequence at(std::initializer_list<float> positions) {
  PeakSequence s;
  for (const float p : positions) s.push_back(Peak{static_cast<std::uint64_t>(p), p, 1.0f});
  return s;
}

std::vector<double> ticks(std::size_t n, double step) {
  std::vector<double> t(n);
  for (std::size_t i = 0; i < n; ++i) t[i] = static_cast<double>(i) * step;
  return t;
}

}  // namespace

TEST(DetectionTime, FromTimestampsOrSampleRate) {
  const std::vector<double> ts = ticks(5, 0.1);  // 0 .. 0.4 s
  struct Case { float position; std::vector<double> ts; float fs; double want; };
  const Case cases[] = {
      {15.0f, {}, 30.0f, 0.5},                  // no timestamps: position / fs
      {2.5f, ts, 10.0f, 0.25},                  // between two capture times
      {4.5f, ts, 20.0f, 0.4 + 0.5 / 20.0},      // past the last one at the nominal rate
      {30.0f, ts, 30.0f, 1.0},                  // beyond the timestamps: position / fs
      {-0.5f, ts, 10.0f, -0.05},                // negative: first segment extended back
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(detection_time(c.position, c.ts, c.fs), c.want, 1e-9) << c.position;
  }
  EXPECT_TRUE(std::isnan(detection_time(std::nanf(""), ts, 10.0f)));
}

TEST(RateFromDetections, Cases) {
  struct Case {
    const char* name;
    std::vector<PeakSequence> sequences;
    std::vector<double> timestamps;
    std::vector<float> confidence;
    float fs;
    float value;
    float confidence_out;
  };
  const Case cases[] = {
      {"regular", {at({0, 30, 60, 90})}, {}, {}, 30, 60, 1},
      {"split sequences", {at({0, 30}), at({60, 90})}, {}, {}, 30, 60, 1},
      // m = 1.5 s, s = 0.5 s: CV 0.33 is past 0.3, so no regularity at all.
      {"irregular", {at({0, 30, 90})}, {}, {}, 30, 40, 0},
      // 10 Hz capture: 10 samples are 1 s whatever fs says.
      {"timestamps", {at({0, 10, 20})}, ticks(30, 0.1), {}, 30, 60, 1},
      {"beyond timestamps", {at({0, 30})}, ticks(5, 0.1), {}, 30, 60, 1},
      {"detection confidence", {at({0, 30, 60})}, {}, std::vector<float>(61, 0.8f), 30, 60, 0.8f},
      // The second pair reaches past the confidence vector: its interval
      // counts, its confidences are not collected.
      {"short confidence", {at({0, 30, 60})}, {}, std::vector<float>(31, 0.5f), 30, 60, 0.5f},
      {"equal positions", {at({0, 0, 30})}, {}, {}, 30, 60, 1},
      {"only equal positions", {at({5, 5})}, {}, {}, 30, 0, 0},
      {"single peaks", {at({5}), at({40})}, {}, {}, 30, 0, 0},
      {"nothing", {}, {}, {}, 30, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RateEstimate r =
        estimate_rate_from_detections(c.sequences, c.timestamps, c.confidence, c.fs);
    EXPECT_EQ(r.method, "PeakDetection");
    EXPECT_NEAR(r.value, c.value, 1e-4f);
    EXPECT_NEAR(r.confidence, c.confidence_out, 1e-6f);
  }
}

TEST(RateFromDetections, PeakIndexBeyondEveryVectorIsSafe) {
  const std::vector<PeakSequence> sequences{at({1e6f, 1e6f + 30, 3e9f})};
  const RateEstimate r =
      estimate_rate_from_detections(sequences, ticks(10, 0.1), std::vector<float>(10, 1.0f), 30);
  EXPECT_GT(r.value, 0.0f);
  EXPECT_TRUE(std::isfinite(r.confidence));
}
