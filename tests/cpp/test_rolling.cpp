// Rolling estimates from detections: name validation and its messages, the
// size guard, the warm-up head and held tail, holding between updates, the
// trailing window, the HRV value mapping, and painting that never leaves the
// output (out-of-order and far-away frame indices).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "signal/rolling.hpp"

using namespace orvane;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kFs = 30.0f;

enum class Op { Rate, Hrv };

RollingOutcome rolling(Op op, const std::vector<PeakSequence>& sequences, std::string_view name,
                       std::uint64_t total_frames, std::span<const double> timestamps = {},
                       std::span<const float> confidence = {}, float fs = kFs) {
  return op == Op::Rate ? estimate_rolling_rate_from_detections(sequences, fs, name, total_frames,
                                                                timestamps, confidence)
                        : estimate_rolling_hrv_metric_from_detections(
                              sequences, fs, name, total_frames, timestamps, confidence);
}

// Detections at the given sample positions, each on the frame of its position.
PeakSequence at_positions(const std::vector<double>& positions) {
  PeakSequence seq;
  for (double p : positions) {
    seq.push_back(Peak{static_cast<std::uint64_t>(p), static_cast<float>(p), 1.0f});
  }
  return seq;
}

// Detections every `step` samples from `first` to `last` inclusive.
std::vector<double> every(double step, double first, double last) {
  std::vector<double> out;
  for (double p = first; p <= last + 1e-9; p += step) out.push_back(p);
  return out;
}

// Frames [from, to) expected to hold (value, confidence); NaN value means NaN.
struct Segment {
  std::uint64_t from;
  std::uint64_t to;
  float value;
  float confidence;
  float tolerance = 1e-4f;
};

void expect_segments(const RollingOutcome& out, std::uint64_t total,
                     const std::vector<Segment>& segments) {
  ASSERT_EQ(out.error, RollingError::None) << out.message;
  ASSERT_EQ(out.values.size(), total);
  ASSERT_EQ(out.confidences.size(), total);
  for (const Segment& s : segments) {
    for (std::uint64_t f = s.from; f < s.to; ++f) {
      if (std::isnan(s.value)) {
        ASSERT_TRUE(std::isnan(out.values[f])) << "frame " << f << " = " << out.values[f];
      } else {
        ASSERT_NEAR(out.values[f], s.value, s.tolerance) << "frame " << f;
      }
      ASSERT_NEAR(out.confidences[f], s.confidence, 1e-5f) << "frame " << f;
    }
  }
}

// ---- validation -------------------------------------------------------------

struct RefusalCase {
  const char* label;
  Op op;
  std::string name;
  std::uint64_t total_frames;
  RollingError error;
  std::string message;
};

std::ostream& operator<<(std::ostream& os, const RefusalCase& c) { return os << c.label; }

class RollingRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RollingRefusalTest, ReportsErrorAndMessage) {
  const RefusalCase& c = GetParam();
  const std::vector<PeakSequence> detections{at_positions(every(30, 0, 300))};
  const RollingOutcome out = rolling(c.op, detections, c.name, c.total_frames);
  EXPECT_EQ(out.error, c.error);
  EXPECT_EQ(out.message, c.message);
  EXPECT_TRUE(out.values.empty());
  EXPECT_TRUE(out.confidences.empty());
}

constexpr std::uint64_t kTooMany = kMaxRollingFrames + 1;

INSTANTIATE_TEST_SUITE_P(
    Rolling, RollingRefusalTest,
    ::testing::Values(
        RefusalCase{"rate_unknown", Op::Rate, "heartbeat", 10, RollingError::UnknownName,
                    "Unknown vital rate: heartbeat"},
        RefusalCase{"rate_case_sensitive", Op::Rate, "HR", 10, RollingError::UnknownName,
                    "Unknown vital rate: HR"},
        RefusalCase{"rate_empty", Op::Rate, "", 10, RollingError::UnknownName,
                    "Unknown vital rate: "},
        RefusalCase{"rate_no_derivations", Op::Rate, "ppg_waveform", 10,
                    RollingError::NoDerivations, "No derivations found for vital"},
        RefusalCase{"hrv_unknown", Op::Hrv, "hrv_si", 10, RollingError::UnknownName,
                    "Unknown HRV metric: hrv_si"},
        // The catalogue is case-sensitive even though the metric parser is not.
        RefusalCase{"hrv_upper_case", Op::Hrv, "SDNN", 10, RollingError::UnknownName,
                    "Unknown HRV metric: SDNN"},
        RefusalCase{"hrv_no_derivations", Op::Hrv, "pwa", 10, RollingError::NoDerivations,
                    "No derivations found for metric"},
        RefusalCase{"hrv_not_a_metric", Op::Hrv, "heart_rate", 10, RollingError::InvalidMetric,
                    "Invalid HRV metric"},
        // Names are checked before the size.
        RefusalCase{"names_before_size", Op::Hrv, "heart_rate", kTooMany,
                    RollingError::InvalidMetric, "Invalid HRV metric"},
        RefusalCase{"rate_too_large", Op::Rate, "heart_rate", kTooMany, RollingError::TooLarge,
                    "total_frames 268435457 is too large to allocate"},
        RefusalCase{"hrv_too_large", Op::Hrv, "hrv_sdnn", UINT64_MAX, RollingError::TooLarge,
                    "total_frames 18446744073709551615 is too large to allocate"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Rolling, AcceptedNames) {
  const std::vector<PeakSequence> none;
  for (const char* name : {"heart_rate", "hr", "respiratory_rate", "hrv_sdnn"}) {
    EXPECT_EQ(rolling(Op::Rate, none, name, 3).error, RollingError::None) << name;
  }
  for (const char* name : {"hrv_sdnn", "sdnn", "stress_index", "si", "hrv_pnn50", "lfhf"}) {
    EXPECT_EQ(rolling(Op::Hrv, none, name, 3).error, RollingError::None) << name;
  }
}

// ---- series -----------------------------------------------------------------

TEST(Rolling, ZeroFramesGivesEmptyOutputs) {
  const std::vector<PeakSequence> detections{at_positions(every(30, 0, 600))};
  for (Op op : {Op::Rate, Op::Hrv}) {
    const RollingOutcome out = rolling(op, detections, op == Op::Rate ? "hr" : "hrv_sdnn", 0);
    EXPECT_EQ(out.error, RollingError::None);
    EXPECT_TRUE(out.values.empty());
    EXPECT_TRUE(out.confidences.empty());
  }
}

TEST(Rolling, NoDetectionsGivesNaNAndZero) {
  const std::vector<PeakSequence> detections{{}, {}};
  expect_segments(rolling(Op::Rate, detections, "heart_rate", 50), 50, {{0, 50, kNaN, 0}});
}

// Heart rate (H 5 s, R 10 s, I 1 s) from a detection every second at 30 Hz:
// nothing before 5 s, then 60 per minute with full confidence, held by the
// last detection for one more beat.
TEST(Rolling, SixtyPerMinuteHeadAndTail) {
  const std::vector<PeakSequence> detections{at_positions(every(30, 0, 600))};
  expect_segments(rolling(Op::Rate, detections, "heart_rate", 700), 700,
                  {{0, 150, kNaN, 0}, {150, 630, 60.0f, 1.0f}, {630, 700, kNaN, 0}});
  // The hold stops at total_frames.
  expect_segments(rolling(Op::Rate, detections, "heart_rate", 615), 615,
                  {{0, 150, kNaN, 0}, {150, 615, 60.0f, 1.0f}});
}

TEST(Rolling, TimestampsTimeTheDetections) {
  // Captured at 15 Hz although fs says 30: detections 15 samples apart are 1 s
  // apart, so the rate is 60 and the warm-up ends at sample 75 (5 s).
  std::vector<double> timestamps;
  for (int i = 0; i < 400; ++i) timestamps.push_back(i / 15.0);
  const std::vector<PeakSequence> detections{at_positions(every(15, 0, 300))};
  expect_segments(rolling(Op::Rate, detections, "heart_rate", 400, timestamps), 400,
                  {{0, 75, kNaN, 0}, {75, 315, 60.0f, 1.0f}, {315, 400, kNaN, 0}});
}

// Detections 0.5 s apart with I = 1 s: the detection between two updates holds
// the earlier estimate. A confidence dip at frame 165 (detection at 5.5 s)
// shows it: the held value keeps confidence 1, the next update includes the
// dip twice (as the end of one interval and the start of the next).
TEST(Rolling, HoldsBetweenUpdates) {
  std::vector<float> confidence(400, 1.0f);
  confidence[165] = 0.0f;
  const std::vector<PeakSequence> detections{at_positions(every(15, 0, 330))};
  expect_segments(rolling(Op::Rate, detections, "heart_rate", 400, {}, confidence), 400,
                  {{0, 150, kNaN, 0},
                   {150, 165, 120.0f, 1.0f},            // update at 5.0 s
                   {165, 180, 120.0f, 1.0f},            // 5.5 s holds it
                   {180, 210, 120.0f, 22.0f / 24.0f},   // update at 6.0 s, held at 6.5 s
                   {210, 240, 120.0f, 26.0f / 28.0f}}); // update at 7.0 s, held at 7.5 s
}

// Only the detections of the trailing 10 s feed an estimate: one beat a
// second until 20 s, then two a second.
TEST(Rolling, TrailingWindowSelectsDetections) {
  std::vector<double> positions = every(30, 0, 600);
  for (double p : every(15, 615, 1200)) positions.push_back(p);
  const std::vector<PeakSequence> detections{at_positions(positions)};
  expect_segments(rolling(Op::Rate, detections, "heart_rate", 1300), 1300,
                  {{450, 480, 60.0f, 1.0f},
                   // 25 s: window [15, 25] s has five 1 s and ten 0.5 s intervals;
                   // cv 0.35 leaves no regularity, but the rate is still written.
                   {750, 765, 90.0f, 0.0f, 1e-3f},
                   // 30 s: window [20, 30] s holds only 0.5 s intervals.
                   {900, 915, 120.0f, 1.0f}});
}

// A later sequence overwrites an earlier one where they overlap; a sequence
// with a single detection paints NaN and 0 from its frame to the end.
TEST(Rolling, LaterSequencesOverwriteAndSingleDetectionClears) {
  const std::vector<PeakSequence> detections{at_positions(every(30, 0, 600)),
                                             at_positions({400})};
  expect_segments(rolling(Op::Rate, detections, "heart_rate", 700), 700,
                  {{0, 150, kNaN, 0}, {150, 400, 60.0f, 1.0f}, {400, 700, kNaN, 0}});
}

// HRV maps (0, 0) to NaN/0 but keeps a real zero: pNN50 (H 30 s) of a steady
// rhythm is 0 with the beats' confidence; beats below the 0.5 gate give no
// intervals at all.
TEST(Rolling, HrvZeroWithConfidenceIsAValue) {
  const std::vector<PeakSequence> detections{at_positions(every(30, 0, 1200))};
  const std::vector<float> confident(1300, 0.8f);
  expect_segments(rolling(Op::Hrv, detections, "hrv_pnn50", 1300, {}, confident), 1300,
                  {{0, 900, kNaN, 0}, {900, 1230, 0.0f, 0.8f}, {1230, 1300, kNaN, 0}});
  const std::vector<float> doubtful(1300, 0.4f);
  expect_segments(rolling(Op::Hrv, detections, "hrv_pnn50", 1300, {}, doubtful), 1300,
                  {{0, 1300, kNaN, 0}});
}

// SDNN (H 20 s, I 5 s) of intervals alternating 0.9 s and 1.0 s: the first
// estimate comes at 20.9 s over 22 intervals, sample SD = 50 * sqrt(22 / 21).
TEST(Rolling, HrvPositiveValueHeldForUpdateInterval) {
  std::vector<double> positions{0};
  for (int k = 1; positions.back() < 900; ++k) {
    positions.push_back(positions.back() + (k % 2 ? 27 : 30));
  }
  const std::vector<PeakSequence> detections{at_positions(positions)};
  const float sdnn = 50.0f * std::sqrt(22.0f / 21.0f);
  // Detection 22 is at frame 627 (20.9 s). The next update is due at 25.9 s
  // (detection 28, frame 798), past the frames checked, so detections 23 to
  // 27 hold the value; recomputing at any of them would move it by >= 0.1.
  expect_segments(rolling(Op::Hrv, detections, "hrv_sdnn", 700), 700,
                  {{0, 627, kNaN, 0}, {627, 700, sdnn, 1.0f, 0.05f}});
}

// ---- painting stays inside the output ----------------------------------------

// Detections timed by position (one a second) but filed under arbitrary
// frames: the estimates from 5 s on are 60 per minute.
std::vector<PeakSequence> filed_under(const std::vector<std::uint64_t>& frames) {
  PeakSequence seq;
  for (std::size_t k = 0; k < frames.size(); ++k) {
    seq.push_back(Peak{frames[k], static_cast<float>(30 * k), 1.0f});
  }
  return {seq};
}

TEST(Rolling, PaintingNeverLeavesTheOutput) {
  constexpr std::uint64_t kMax = UINT64_MAX;
  // The estimate at 5 s covers frames 10 up to the next detection, which is
  // beyond the output; the last detection is itself beyond it.
  expect_segments(rolling(Op::Rate, filed_under({0, 1, 2, 3, 4, 10, kMax}), "hr", 30), 30,
                  {{0, 10, kNaN, 0}, {10, 30, 60.0f, 1.0f}});
  // Last frame 2^63 after 0: 2 f_k - f_{k-1} does not fit in 64 bits.
  expect_segments(
      rolling(Op::Rate, filed_under({0, 1, 2, 3, 4, 10, std::uint64_t{1} << 63}), "hr", 30), 30,
      {{0, 10, kNaN, 0}, {10, 30, 60.0f, 1.0f}});
  // Out of order: the last detection (frame 5) comes after one at frame 20,
  // so its hold 2*5 - 20 would be negative; it holds nothing rather than
  // wrapping round to the end of the output.
  expect_segments(rolling(Op::Rate, filed_under({0, 1, 2, 3, 4, 20, 5}), "hr", 30), 30,
                  {{0, 30, kNaN, 0}});
  // In order, the hold ends at 2 f_k - f_{k-1} or at total_frames.
  expect_segments(rolling(Op::Rate, filed_under({0, 1, 2, 3, 4, 10, 16}), "hr", 30), 30,
                  {{0, 10, kNaN, 0}, {10, 22, 60.0f, 1.0f}, {22, 30, kNaN, 0}});
  expect_segments(rolling(Op::Rate, filed_under({0, 1, 2, 3, 4, 10, 25}), "hr", 30), 30,
                  {{0, 10, kNaN, 0}, {10, 30, 60.0f, 1.0f}});
  // A single detection beyond the output paints nothing.
  const std::vector<PeakSequence> lone{{Peak{kMax, 0.0f, 1.0f}}};
  expect_segments(rolling(Op::Rate, lone, "hr", 30), 30, {{0, 30, kNaN, 0}});
}

}  // namespace
