// Vitals of a session: the minimum-window threshold and notes, the pressure
// fallbacks, the I:E ratio and the rolling per-frame series.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "session_fixtures.hpp"
#include "state/session.hpp"
#include "state/session_detail.hpp"

using namespace orvane;
using namespace orvane::fixtures;
namespace sd = orvane::session_detail;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

SessionResult run(const SessionConfig& cfg, const SessionInput& input, const WaveformMode& mode) {
  Session session(cfg);
  return session.process(input, mode);
}

// Asymmetric breaths: a straight rise over `rise` samples, then a straight fall
// over period - rise samples, from 0 to 1 and back.
std::vector<float> breaths(std::size_t n, std::size_t period, std::size_t rise) {
  std::vector<float> y(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t p = i % period;
    y[i] = p <= rise ? static_cast<float>(p) / static_cast<float>(rise)
                     : static_cast<float>(period - p) / static_cast<float>(period - rise);
  }
  return y;
}

// ---- Current estimates --------------------------------------------------------------

TEST(SessionVitals, HeartRateNeedsFiveSecondsAndNotesTheMode) {
  const SessionConfig cfg = config({"heart_rate"}, 30.0f);
  struct Case {
    std::size_t frames;
    WaveformMode mode;
    std::optional<std::string> note;  // absent: no heart rate expected
  };
  const std::string latest = "Latest estimate of Heart Rate with confidence score using model-x.";
  const std::string global = "Global estimate of Heart Rate with confidence score using model-x.";
  const Case cases[] = {
      {149, WaveformMode::incremental(), std::nullopt},
      {149, WaveformMode::global(), std::nullopt},
      {150, WaveformMode::incremental(), latest},
      {150, WaveformMode::windowed(2.0f), latest},
      {150, WaveformMode::global(), global},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frames);
    SessionInput in =
        batch(frame_times(0, c.frames, 30.0), {{"ppg", sine(0, c.frames, 30.0, 1.2)}});
    in.signals["ppg"].confidence.assign(c.frames, 0.8f);
    const SessionResult r = run(cfg, in, c.mode);
    if (!c.note) {
      EXPECT_TRUE(r.vitals.empty());
      continue;
    }
    ASSERT_EQ(r.vitals.count("heart_rate"), 1u);
    const VitalResult& hr = r.vitals.at("heart_rate");
    EXPECT_NEAR(hr.value, 72.0f, 1.0f);
    EXPECT_NEAR(hr.confidence, 0.8f, 1e-5f);  // the window's mean confidence
    EXPECT_EQ(hr.unit, "bpm");
    EXPECT_EQ(hr.note, *c.note);
  }
}

TEST(SessionVitals, GlobalWindowIsWholeHistory) {
  // 60 s of pulse: the older 50 s carry confidence 0.2, the newest 10 s 1.0.
  // The current-value window (10 s) sees only the latter; Global sees all.
  SessionInput in = batch(frame_times(0, 1800, 30.0), {{"ppg", sine(0, 1800, 30.0, 1.2)}});
  for (std::size_t i = 0; i < 1500; ++i) in.signals["ppg"].confidence[i] = 0.2f;
  const SessionConfig cfg = config({"heart_rate"}, 30.0f);
  EXPECT_NEAR(run(cfg, in, WaveformMode::incremental()).vitals.at("heart_rate").confidence, 1.0f,
              1e-5f);
  EXPECT_NEAR(run(cfg, in, WaveformMode::global()).vitals.at("heart_rate").confidence,
              (1500 * 0.2f + 300) / 1800, 1e-4f);
}

TEST(SessionVitals, ImplausibleEstimatesAreLeftOut) {
  // A flat pulse gives no rate (0), which the 40..220 range rejects; spo2 of
  // 50 lies below its 70..100 range.
  const SessionResult r = run(config({"heart_rate", "spo2"}, 30.0f),
                              batch(frame_times(0, 300, 30.0),
                                    {{"ppg", constant(300, 1.0f)}, {"spo2", constant(300, 50)}}),
                              WaveformMode::incremental());
  EXPECT_TRUE(r.vitals.empty());
}

// ---- Pressure fallbacks ----------------------------------------------------------------

struct Expected {
  float value;
  float confidence;
  float tolerance;
};
struct PressureCase {
  std::string name;
  std::map<std::string, std::vector<float>> signals;
  std::map<std::string, Expected> vitals;  // the vitals that must be present
};
void PrintTo(const PressureCase& c, std::ostream* os) { *os << c.name; }

class SessionPressures : public ::testing::TestWithParam<PressureCase> {};

TEST_P(SessionPressures, FirstPlausibleDerivationWins) {
  const PressureCase& c = GetParam();
  const SessionResult r = run(config({"sbp", "dbp", "map", "pulse_pressure"}, 30.0f),
                              batch(frame_times(0, 300, 30.0), c.signals),
                              WaveformMode::incremental());
  EXPECT_EQ(r.vitals.size(), c.vitals.size());
  for (const auto& [id, want] : c.vitals) {
    SCOPED_TRACE(id);
    ASSERT_EQ(r.vitals.count(id), 1u);
    EXPECT_NEAR(r.vitals.at(id).value, want.value, want.tolerance);
    EXPECT_NEAR(r.vitals.at(id).confidence, want.confidence, 1e-5f);
    EXPECT_EQ(r.vitals.at(id).unit, "mmHg");
  }
}

const std::vector<float> kAbp = sine(0, 300, 30.0, 1.2, 20.0, 100.0);  // 80..120 mmHg
const std::vector<float> kLowAbp = sine(0, 300, 30.0, 1.2, 20.0, 10.0);   // -10..30

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionPressures,
    ::testing::Values(
        PressureCase{"PressureSignalsOnly",
                     {{"sbp", constant(300, 120)}, {"dbp", constant(300, 80)}},
                     {{"sbp", {120, 1, 1e-4f}},
                      {"dbp", {80, 1, 1e-4f}},
                      {"map", {93.333f, 1, 1e-3f}},
                      {"pulse_pressure", {40, 1, 1e-4f}}}},
        // The waveform is preferred over the separate pressure signals.
        PressureCase{"WaveformPreferred",
                     {{"abp", kAbp}, {"sbp", constant(300, 150)}, {"dbp", constant(300, 50)}},
                     {{"sbp", {120, 1, 0.5f}},
                      {"dbp", {80, 1, 0.5f}},
                      {"map", {100, 1, 0.1f}},
                      {"pulse_pressure", {40, 1, 1.0f}}}},
        // Peaks at 30 are no systolic pressure, troughs at -10 give no pulse
        // pressure (30 - (-10) would pass its range) and a mean of 10 is no
        // arterial pressure: all four fall back to the pressure signals.
        PressureCase{"ImplausibleWaveformFallsBack",
                     {{"abp", kLowAbp}, {"sbp", constant(300, 130)}, {"dbp", constant(300, 80)}},
                     {{"sbp", {130, 1, 1e-4f}},
                      {"dbp", {80, 1, 1e-4f}},
                      {"map", {96.667f, 1, 1e-3f}},
                      {"pulse_pressure", {50, 1, 1e-4f}}}},
        PressureCase{"NoPressureInput", {{"ppg", kAbp}}, {}}),
    [](const auto& info) { return info.param.name; });

// ---- I:E ratio ----------------------------------------------------------------------------

TEST(SessionVitals, IeRatioOfAsymmetricBreaths) {
  // 15 breaths per minute at 30 Hz (120 samples each) for 30 s; the rise
  // (inspiration) takes `rise` samples.
  struct Case {
    std::size_t rise;
    float ratio;
  };
  for (const Case& c : {Case{40, 0.5f}, Case{60, 1.0f}, Case{48, 2.0f / 3.0f}}) {
    for (const bool with_rate : {true, false}) {
      SCOPED_TRACE(testing::Message() << c.rise << (with_rate ? " with rate" : " alone"));
      std::vector<std::string> vitals{"ie_ratio"};
      if (with_rate) vitals.push_back("rr");
      const SessionResult r = run(config(vitals, 30.0f),
                                  batch(frame_times(0, 900, 30.0),
                                        {{"resp", breaths(900, 120, c.rise)}}),
                                  WaveformMode::incremental());
      ASSERT_EQ(r.vitals.count("ie_ratio"), 1u);
      EXPECT_NEAR(r.vitals.at("ie_ratio").value, c.ratio, 0.03f);
      EXPECT_NEAR(r.vitals.at("ie_ratio").confidence, 1.0f, 1e-6f);
      EXPECT_EQ(r.vitals.at("ie_ratio").unit, "ratio");
      if (with_rate) {
        EXPECT_NEAR(r.vitals.at("respiratory_rate").value, 15.0f, 0.5f);
      }
    }
  }
}

// Five breaths of six samples at 1 Hz (rise over 2, fall over 4) and a final
// trough: peaks at 2, 8, .., 26, refined to +1/6; troughs between them at
// 6, 12, .., 24, refined to -1/6. The hint sets the expected period and so the
// search radius r around the outer peaks.
TEST(SessionVitals, IeRatioSearchRadiusAroundOuterPeaks) {
  std::vector<float> y;
  for (int b = 0; b < 5; ++b) y.insert(y.end(), {0.0f, 1.5f, 3.0f, 2.25f, 1.5f, 0.75f});
  y.push_back(0.0f);
  std::vector<float> confidence(y.size());
  for (std::size_t i = 0; i < y.size(); ++i) confidence[i] = static_cast<float>(i) / 100.0f;

  struct Case {
    const char* what;
    std::optional<float> hint;
    float ratio;
    float confidence;
  };
  const float inner_insp = 7.0f / 3.0f;  // 8 + 1/6 - (6 - 1/6)
  const float inner_exp = 11.0f / 3.0f;  // 12 - 1/6 - (8 + 1/6)
  const Case cases[] = {
      // r = 0: the leading trough sits on the first peak and there is no
      // trailing trough, so only the three inner peaks are breaths.
      {"r=0", 60.0f, inner_insp / inner_exp, (0.08f + 0.14f + 0.20f) / 3},
      // r = 1: leading trough at 1, trailing trough at 27, both unrefined.
      {"r=1", 30.0f,
       (7.0f / 6.0f + 4 * inner_insp) / (4 * inner_exp + 5.0f / 6.0f),
       (0.02f + 0.08f + 0.14f + 0.20f + 0.26f) / 5},
      // No hint: period 6, r = 3; the first peak (2 < r) has no leading
      // trough, the trailing one is the lower of samples 27 and 28.
      {"r=3", std::nullopt, 4 * inner_insp / (3 * inner_exp + 11.0f / 6.0f),
       (0.08f + 0.14f + 0.20f + 0.26f) / 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto [ratio, conf] = sd::ie_ratio(y, confidence, 1.0f, c.hint);
    EXPECT_NEAR(ratio, c.ratio, 1e-4f);
    EXPECT_NEAR(conf, c.confidence, 1e-5f);
  }
  // Too short to hold a breath; and a window cut right after the last peak
  // must not be searched beyond its end.
  EXPECT_EQ(sd::ie_ratio(std::vector<float>{0.0f, 1.0f}, {}, 1.0f, std::nullopt),
            (std::pair<float, float>{0.0f, 0.0f}));
  const std::vector<float> cut(y.begin(), y.begin() + 28);
  for (const std::optional<float> hint : {std::optional<float>{60.0f}, std::optional<float>{30.0f},
                                          std::optional<float>{}}) {
    const auto [ratio, conf] = sd::ie_ratio(cut, {}, 1.0f, hint);
    EXPECT_TRUE(std::isfinite(ratio));
    EXPECT_EQ(conf, 0.0f);  // no confidence values given
  }
}

// ---- Rolling series ------------------------------------------------------------------------

TEST(SessionRolling, HeartRateFromFiveSecondsOn) {
  const SessionConfig cfg = config({"heart_rate"}, 30.0f, std::nullopt, true);
  const SessionInput in = batch(frame_times(0, 600, 30.0), {{"ppg", sine(0, 600, 30.0, 1.2)}});
  const SessionResult r = run(cfg, in, WaveformMode::global());
  ASSERT_TRUE(r.rolling_vitals.has_value());
  const WaveformResult& hr = r.rolling_vitals->at("heart_rate");
  ASSERT_EQ(hr.data.size(), 600u);
  ASSERT_EQ(hr.confidence.size(), 600u);
  for (std::size_t i = 0; i < 149; ++i) {
    EXPECT_TRUE(std::isnan(hr.data[i])) << i;
    EXPECT_TRUE(std::isnan(hr.confidence[i])) << i;
  }
  for (std::size_t i = 149; i < 600; ++i) {
    EXPECT_NEAR(hr.data[i], 72.0f, 1.5f) << i;
    EXPECT_NEAR(hr.confidence[i], 1.0f, 1e-5f) << i;
  }
  EXPECT_EQ(hr.unit, "bpm");
  EXPECT_EQ(hr.note, "Rolling estimate of Heart Rate with frame-wise confidence levels.");

  // Too short a history, a bounded mode, or no request: no rolling series.
  const SessionInput short_in =
      batch(frame_times(0, 149, 30.0), {{"ppg", sine(0, 149, 30.0, 1.2)}});
  EXPECT_FALSE(run(cfg, short_in, WaveformMode::global()).rolling_vitals.has_value());
  EXPECT_FALSE(run(cfg, in, WaveformMode::incremental()).rolling_vitals.has_value());
  EXPECT_FALSE(run(cfg, in, WaveformMode::windowed(100.0f)).rolling_vitals.has_value());
  EXPECT_FALSE(run(config({"heart_rate"}, 30.0f, std::nullopt, false), in, WaveformMode::global())
                   .rolling_vitals.has_value());
}

// spo2 (a plain mean; minimum window 1 s, preferred 5 s, step 1 s, range
// 70..100) at 30 Hz: windows end at frames 29, 59, 89, .. and at the last
// frame, growing from the first frame up to 150 frames.
struct RollingCase {
  std::string name;
  std::vector<std::pair<std::size_t, float>> runs;  // (frames, value) in order
  std::map<std::size_t, float> expected;            // frame -> value; NaN: none
};
void PrintTo(const RollingCase& c, std::ostream* os) { *os << c.name; }

class SessionRollingMean : public ::testing::TestWithParam<RollingCase> {};

TEST_P(SessionRollingMean, PlacesAndFillsEstimates) {
  const RollingCase& c = GetParam();
  std::vector<float> spo2;
  for (const auto& [frames, value] : c.runs) spo2.insert(spo2.end(), frames, value);
  const SessionResult r = run(config({"spo2"}, 30.0f, std::nullopt, true),
                              batch(frame_times(0, spo2.size(), 30.0), {{"spo2", spo2}}),
                              WaveformMode::global());
  ASSERT_TRUE(r.rolling_vitals.has_value());
  const WaveformResult& series = r.rolling_vitals->at("spo2");
  ASSERT_EQ(series.data.size(), spo2.size());
  for (const auto& [frame, want] : c.expected) {
    SCOPED_TRACE(frame);
    if (std::isnan(want)) {
      EXPECT_TRUE(std::isnan(series.data[frame]));
    } else {
      EXPECT_NEAR(series.data[frame], want, 1e-3f);
      EXPECT_NEAR(series.confidence[frame], 1.0f, 1e-6f);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionRollingMean,
    ::testing::Values(
        // Windows: 0 (rejected), 85, 56.7 (rejected).
        RollingCase{"SingleAcceptedEstimateStandsAlone",
                    {{30, 0}, {30, 170}, {30, 0}},
                    {{0, kNaN}, {29, kNaN}, {58, kNaN}, {59, 85}, {60, kNaN}, {89, kNaN}}},
        // Windows: 90, 90, 60 and 45 (both rejected): the last accepted value holds.
        RollingCase{"LastAcceptedEstimateHeld",
                    {{60, 90}, {60, 0}},
                    {{28, kNaN}, {29, 90}, {59, 90}, {89, 90}, {119, 90}}},
        // Windows: 80, 90, 93.33; straight lines between them.
        RollingCase{"LinearBetweenEstimates",
                    {{30, 80}, {60, 100}},
                    {{28, kNaN}, {29, 80}, {44, 85}, {59, 90}, {74, 91.6667f}, {89, 93.3333f}}},
        // The step overshoots at 119 > 99: the last frame is evaluated anyway.
        RollingCase{"LastFrameAlwaysEvaluated",
                    {{90, 90}, {10, 100}},
                    {{89, 90}, {94, 90.5f}, {99, 91}}},
        // Windows reach 150 frames at 149 (30 of 100) and then slide: the one
        // ending at 179 holds 60 of 100.
        RollingCase{"WindowsSlideAtPreferredLength",
                    {{120, 80}, {60, 100}},
                    {{149, 84}, {179, 88}}}),
    [](const auto& info) { return info.param.name; });

TEST(SessionRolling, InputsMustCoverEveryStoredFrame) {
  // sbp covers all 300 frames; ptt, spo2 and dbp start with the second batch.
  const SessionConfig cfg =
      config({"sbp", "map", "pulse_pressure", "spo2", "ptt"}, 30.0f, std::nullopt, true);
  Session session(cfg);
  session.process(batch(frame_times(0, 150, 30.0), {{"sbp", constant(150, 120)}}),
                  WaveformMode::global());
  const SessionResult r = session.process(
      batch(frame_times(150, 150, 30.0), {{"sbp", constant(150, 120)},
                                          {"dbp", constant(150, 80)},
                                          {"spo2", constant(150, 97)},
                                          {"ptt", constant(150, 200)}}),
      WaveformMode::global());
  // The current values use the newest frames of every signal...
  for (const char* id : {"sbp", "map", "pulse_pressure", "spo2", "ptt"}) {
    EXPECT_EQ(r.vitals.count(id), 1u) << id;
  }
  // ...but a rolling series needs inputs aligned with every stored frame; a
  // pressure pair whose second signal started late is passed over too.
  ASSERT_TRUE(r.rolling_vitals.has_value());
  EXPECT_EQ(r.rolling_vitals->size(), 1u);
  const WaveformResult& sbp = r.rolling_vitals->at("sbp");
  ASSERT_EQ(sbp.data.size(), 300u);
  EXPECT_TRUE(std::isnan(sbp.data[148]));
  EXPECT_FLOAT_EQ(sbp.data[149], 120.0f);
  EXPECT_FLOAT_EQ(sbp.data[299], 120.0f);
}

}  // namespace
