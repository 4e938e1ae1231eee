// The session pipeline: construction, merging of overlapping batches, trimming,
// the frames each mode returns, faces, aliases, waveform post-processing,
// refused batches, reset, and hostile input.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "session_fixtures.hpp"
#include "signal/filters.hpp"
#include "state/session.hpp"
#include "state/session_detail.hpp"

using namespace orvane;
using namespace orvane::fixtures;
namespace sd = orvane::session_detail;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr double kNaNd = std::numeric_limits<double>::quiet_NaN();

const std::vector<std::string> kAllVitals = {
    "heart_rate", "respiratory_rate", "stress_index", "pulse_pressure", "ppg_waveform",
    "abp_waveform", "sbp", "dbp", "map", "pwa", "pwp", "ptt", "pwv", "respiratory_waveform",
    "hrv_sdnn", "hrv_rmssd", "hrv_lfhf", "hrv_pnn50", "hrv_sd1sd2", "spo2", "ie_ratio"};

// Every processed result describes one run of frames: the face lists and
// rolling series cover exactly the returned timestamps; a waveform never
// covers more (a signal that started late covers only its newest frames).
void expect_consistent(const SessionResult& r) {
  EXPECT_EQ(r.message, kDisclaimer);
  const std::size_t frames = r.timestamp.size();
  if (r.face) {
    EXPECT_EQ(r.face->coordinates.size(), frames);
    EXPECT_EQ(r.face->confidence.size(), frames);
    for (const auto& box : r.face->coordinates) EXPECT_EQ(box.size(), 4u);
    EXPECT_FALSE(r.face->note.has_value());
  }
  for (const auto& [id, w] : r.waveforms) {
    EXPECT_FALSE(w.data.empty()) << id;
    EXPECT_LE(w.data.size(), frames) << id;
    EXPECT_EQ(w.confidence.size(), w.data.size()) << id;
  }
  if (r.rolling_vitals) {
    EXPECT_FALSE(r.rolling_vitals->empty());
    for (const auto& [id, w] : *r.rolling_vitals) {
      EXPECT_EQ(w.data.size(), frames) << id;
      EXPECT_EQ(w.confidence.size(), frames) << id;
    }
  }
}

// Compares doubles exactly, treating NaN as equal to NaN.
void expect_same_times(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (std::isnan(want[i])) {
      EXPECT_TRUE(std::isnan(got[i])) << i;
    } else {
      EXPECT_DOUBLE_EQ(got[i], want[i]) << i;
    }
  }
}

void expect_floats(const std::vector<float>& got, const std::vector<float>& want,
                   float tolerance = 1e-6f) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], tolerance) << i;
}

std::vector<float> stored_values(const SessionCore& core, const std::string& id) {
  return core.signal_series.at(id).averaged();
}

// Feeds `seconds` of a 30-frame-per-second stream of ppg in 1-second batches.
void feed_seconds(SessionCore& core, std::size_t first_second, std::size_t seconds,
                  const WaveformMode& mode = WaveformMode::incremental()) {
  for (std::size_t s = first_second; s < first_second + seconds; ++s) {
    sd::process_core(core, batch(frame_times(s * 30, 30, 30.0),
                                 {{"ppg_waveform", sine(s * 30, 30, 30.0, 1.2)}}),
                     mode);
  }
}

// ---- Construction -----------------------------------------------------------

TEST(SessionConstruction, EvaluationOrderByStage) {
  struct Case {
    std::vector<std::string> supported;
    std::vector<std::string> order;
  };
  const Case cases[] = {
      {{"map", "hrv_sdnn", "heart_rate"}, {"heart_rate", "map", "hrv_sdnn"}},
      {{"hr", "no_such_vital", "rr"}, {"heart_rate", "respiratory_rate"}},
      // Duplicates (also by alias) stay; stage 1 after stage 0, order kept within.
      {{"ie_ratio", "rr", "hr", "heart_rate", "ppg"},
       {"respiratory_rate", "heart_rate", "heart_rate", "ppg_waveform", "ie_ratio"}},
      {{}, {}},
      {{"HR", " hr"}, {}},
  };
  for (const Case& c : cases) {
    const SessionCore core = sd::make_core(config(c.supported));
    EXPECT_EQ(core.vital_ids, c.order);
    for (const std::string& id : c.order) EXPECT_EQ(core.definitions.at(id).id, id);
    EXPECT_EQ(core.last_emitted_timestamp, -1.0);
  }
}

TEST(SessionConstruction, HistoryLimitIsSixtySecondsAtTarget) {
  struct Case {
    float fps;
    std::uint64_t max_frames;
  };
  const Case cases[] = {{30.0f, 1800},  {29.97f, 1798}, {0.01f, 0},
                        {-30.0f, 0},    {kNaN, 0},      {1e30f, UINT64_MAX}};
  for (const Case& c : cases) {
    EXPECT_EQ(sd::make_core(config({}, c.fps)).max_frames, c.max_frames) << c.fps;
  }
}

// ---- Merging batches ----------------------------------------------------------

struct MergeCase {
  std::string name;
  std::vector<std::pair<std::vector<double>, std::vector<float>>> batches;  // times, abp
  std::vector<double> stored_times;
  std::vector<float> stored_abp;
  std::vector<double> last_returned;  // Incremental result of the last batch
  std::vector<float> last_abp;        // its waveform (absent when empty)
};
void PrintTo(const MergeCase& c, std::ostream* os) { *os << c.name; }

// abp_waveform is returned without post-processing, so the returned waveform
// shows the stored values themselves.
class SessionMerge : public ::testing::TestWithParam<MergeCase> {};

TEST_P(SessionMerge, StoredAndReturnedFrames) {
  const MergeCase& c = GetParam();
  SessionCore core = sd::make_core(config({}, 30.0f, std::vector<std::string>{"abp_waveform"}));
  SessionResult last;
  for (const auto& [times, abp] : c.batches) {
    last = sd::process_core(core, batch(times, {{"abp_waveform", abp}}),
                            WaveformMode::incremental());
    expect_consistent(last);
  }
  expect_same_times(core.timestamps, c.stored_times);
  expect_floats(stored_values(core, "abp_waveform"), c.stored_abp);
  EXPECT_EQ(core.face_boxes.size(), core.timestamps.size());
  expect_same_times(last.timestamp, c.last_returned);
  if (c.last_abp.empty()) {
    EXPECT_EQ(last.waveforms.count("abp_waveform"), 0u);
  } else {
    expect_floats(last.waveforms.at("abp_waveform").data, c.last_abp);
  }
  if (!core.timestamps.empty()) {
    expect_same_times({core.last_emitted_timestamp}, {core.timestamps.back()});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionMerge,
    ::testing::Values(
        MergeCase{"FirstBatchStoredWhole",
                  {{{0.0, 0.033, 0.067}, {1, 2, 3}}},
                  {0.0, 0.033, 0.067}, {1, 2, 3}, {0.0, 0.033, 0.067}, {1, 2, 3}},
        // The two re-sent frames average into the stored ones.
        MergeCase{"OverlapAveragedByTimestamp",
                  {{{0.0, 0.033, 0.067}, {1, 2, 3}}, {{0.033, 0.067, 0.1, 0.133}, {5, 7, 9, 11}}},
                  {0.0, 0.033, 0.067, 0.1, 0.133}, {1, 3.5f, 5, 9, 11}, {0.1, 0.133}, {9, 11}},
        // 0.071 is within 5 ms of 0.067: the same frame, jittered.
        MergeCase{"WithinToleranceIsSameFrame",
                  {{{0.0, 0.033, 0.067}, {1, 2, 3}}, {{0.071, 0.1}, {5, 9}}},
                  {0.0, 0.033, 0.067, 0.1}, {1, 2, 4, 9}, {0.1}, {9}},
        MergeCase{"EntirelyOlderBatchMergesOnly",
                  {{{0.0, 0.033, 0.067}, {1, 2, 3}}, {{0.0, 0.033}, {5, 7}}},
                  {0.0, 0.033, 0.067}, {1, 3.5f, 5}, {}, {}},
        // After the first new frame everything is appended as it comes.
        MergeCase{"DisorderAfterFirstNewFrameKept",
                  {{{0.0, 0.1}, {1, 2}}, {{0.2, 0.15}, {5, 6}}},
                  {0.0, 0.1, 0.2, 0.15}, {1, 2, 5, 6}, {0.2, 0.15}, {5, 6}},
        MergeCase{"EmptyBatch", {{{0.0, 0.1}, {1, 2}}, {{}, {}}}, {0.0, 0.1}, {1, 2}, {}, {}},
        MergeCase{"MillisecondTimes",
                  {{{0.0, 33.0, 67.0}, {1, 2, 3}}, {{67.0, 100.0}, {5, 9}}},
                  {0.0, 33.0, 67.0, 100.0}, {1, 2, 4, 9}, {100.0}, {9}},
        // A NaN newest time compares false with everything: later batches
        // only merge until a reset.
        MergeCase{"NaNNewestTimeBlocksAppends",
                  {{{0.0, kNaNd}, {1, 2}}, {{1.0, 2.0}, {3, 4}}},
                  {0.0, kNaNd}, {2, 3}, {}, {}}),
    [](const auto& info) { return info.param.name; });

// ---- Frames returned per mode ---------------------------------------------------

struct FramingCase {
  std::string name;
  WaveformMode mode;
  std::size_t new_frames;  // frames in the call's batch
  std::size_t returned;    // newest stored frames the result covers
};
void PrintTo(const FramingCase& c, std::ostream* os) { *os << c.name; }

class SessionFraming : public ::testing::TestWithParam<FramingCase> {};

// 600 frames captured at 25 Hz are stored while fps_target says 30, so a
// measured fps (25) is told apart from the fallback (30).
TEST_P(SessionFraming, ReturnsNewestFrames) {
  const FramingCase& c = GetParam();
  SessionCore core = sd::make_core(config({}, 30.0f, std::vector<std::string>{"ppg_waveform"}));
  sd::process_core(
      core, batch(frame_times(0, 600, 25.0), {{"ppg_waveform", sine(0, 600, 25.0, 1.0)}}),
      WaveformMode::incremental());
  const SessionResult r = sd::process_core(
      core,
      batch(frame_times(600, c.new_frames, 25.0),
            {{"ppg_waveform", sine(600, c.new_frames, 25.0, 1.0)}}),
      c.mode);
  expect_consistent(r);
  const std::size_t stored = core.timestamps.size();
  ASSERT_EQ(r.timestamp.size(), c.returned);
  expect_same_times(r.timestamp, std::vector<double>(core.timestamps.end() - c.returned,
                                                     core.timestamps.end()));
  ASSERT_TRUE(r.face.has_value());
  EXPECT_NEAR(r.fps, c.returned >= 2 ? 25.0f : 30.0f, 1e-4f);
  if (c.returned == 0) {
    EXPECT_TRUE(r.waveforms.empty());
  } else {
    const std::vector<float> all = stored_values(core, "ppg_waveform");
    const std::vector<float> want = standardize(moving_average(
        all, moving_average_window_for_cutoff(25.0f, 3.67f, true)));
    const auto first = static_cast<std::ptrdiff_t>(stored - c.returned);
    expect_floats(r.waveforms.at("ppg_waveform").data,
                  std::vector<float>(want.begin() + first, want.end()));
  }
  // Every mode moves the point from which Incremental continues.
  const SessionResult next = sd::process_core(core, batch(frame_times(700, 1, 25.0)),
                                              WaveformMode::incremental());
  expect_same_times(next.timestamp, {700.0 / 25.0});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionFraming,
    ::testing::Values(FramingCase{"IncrementalNewFrames", WaveformMode::incremental(), 30, 30},
                      FramingCase{"IncrementalNothingNew", WaveformMode::incremental(), 0, 0},
                      FramingCase{"Windowed10s", WaveformMode::windowed(10.0f), 0, 300},
                      FramingCase{"WindowedHalfSecond", WaveformMode::windowed(0.5f), 0, 15},
                      FramingCase{"WindowedZero", WaveformMode::windowed(0.0f), 0, 0},
                      FramingCase{"WindowedNegative", WaveformMode::windowed(-1.0f), 0, 0},
                      FramingCase{"WindowedNaN", WaveformMode::windowed(kNaN), 0, 0},
                      FramingCase{"WindowedHuge", WaveformMode::windowed(1e30f), 0, 600},
                      FramingCase{"Global", WaveformMode::global(), 10, 610}),
    [](const auto& info) { return info.param.name; });

// ---- Trimming -------------------------------------------------------------------

TEST(SessionTrimming, HistoryBoundedExceptUnderGlobal) {
  struct Case {
    float fps;
    std::size_t kept;
  };
  for (const Case& c : {Case{30.0f, 1800}, Case{29.97f, 1798}, Case{0.01f, 0}, Case{-1.0f, 0}}) {
    SCOPED_TRACE(c.fps);
    SessionCore core = sd::make_core(config({}, c.fps, std::vector<std::string>{"ppg_waveform"}));
    feed_seconds(core, 0, 70);
    ASSERT_EQ(core.timestamps.size(), c.kept);
    EXPECT_EQ(core.face_boxes.size(), c.kept);
    EXPECT_EQ(core.face_confidences.size(), c.kept);
    EXPECT_EQ(core.signal_series.at("ppg_waveform").size(), c.kept);
    EXPECT_EQ(core.confidence_series.at("ppg_waveform").size(), c.kept);
    if (c.kept > 0) {
      EXPECT_DOUBLE_EQ(core.timestamps.front(), (2100.0 - c.kept) / 30.0);
    }
  }

  SessionCore core = sd::make_core(config({}, 30.0f, std::vector<std::string>{"ppg_waveform"}));
  feed_seconds(core, 0, 70);
  // Global keeps everything it is given and returns it all...
  SessionResult r = sd::process_core(
      core, batch(frame_times(2100, 300, 30.0), {{"ppg_waveform", sine(2100, 300, 30.0, 1.2)}}),
      WaveformMode::global());
  expect_consistent(r);
  EXPECT_EQ(core.timestamps.size(), 2100u);
  EXPECT_EQ(r.timestamp.size(), 2100u);
  EXPECT_EQ(r.waveforms.at("ppg_waveform").data.size(), 2100u);
  // ...and the next bounded call trims back to sixty seconds.
  feed_seconds(core, 80, 1);
  EXPECT_EQ(core.timestamps.size(), 1800u);
  EXPECT_EQ(core.signal_series.at("ppg_waveform").size(), 1800u);
  EXPECT_DOUBLE_EQ(core.timestamps.back(), 2429.0 / 30.0);
}

// ---- Faces ----------------------------------------------------------------------

TEST(SessionFaces, StoredAsGivenOrZeroWhenAbsent) {
  SessionCore core = sd::make_core(config({}));
  SessionResult r = sd::process_core(core, batch({0.0, 0.1}), WaveformMode::incremental());
  expect_consistent(r);
  ASSERT_TRUE(r.face.has_value());
  EXPECT_EQ(r.face->coordinates, (std::vector<std::vector<float>>{{0, 0, 0, 0}, {0, 0, 0, 0}}));
  EXPECT_EQ(r.face->confidence, (std::vector<float>{0, 0}));

  // Short boxes count as zeros, extra numbers are dropped, and re-sent
  // frames (0.1) keep the face they were stored with.
  SessionInput faced = batch({0.1, 0.2, 0.3, 0.4});
  faced.face = FaceInput{{{9, 9, 9, 9}, {1, 2, 3, 4}, {5, 6}, {7, 8, 9, 10, 11}},
                         {0.5f, 0.9f, 0.8f, 0.7f}};
  r = sd::process_core(core, faced, WaveformMode::global());
  expect_consistent(r);
  EXPECT_EQ(r.face->coordinates,
            (std::vector<std::vector<float>>{
                {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 2, 3, 4}, {0, 0, 0, 0}, {7, 8, 9, 10}}));
  EXPECT_EQ(r.face->confidence, (std::vector<float>{0, 0, 0.9f, 0.8f, 0.7f}));

  // No frames returned: the face entry is still there, empty.
  r = sd::process_core(core, batch({}), WaveformMode::incremental());
  ASSERT_TRUE(r.face.has_value());
  EXPECT_TRUE(r.face->coordinates.empty());
}

// ---- Signal names and returned waveforms ------------------------------------------

TEST(SessionSignals, AliasesShareCanonicalSeriesAndUnknownNamesStayInternal) {
  SessionCore core = sd::make_core(config(
      {}, 30.0f,
      std::vector<std::string>{"ppg", "mystery", "heart_rate", "abp_waveform", "ppg_waveform"}));
  SessionResult r = sd::process_core(
      core, batch({0.0, 0.1, 0.2}, {{"ppg", {1, 2, 3}}, {"mystery", {4, 5, 6}}}),
      WaveformMode::incremental());
  expect_consistent(r);
  EXPECT_EQ(core.signal_series.count("ppg"), 0u);
  expect_floats(stored_values(core, "ppg_waveform"), {1, 2, 3});
  expect_floats(stored_values(core, "mystery"), {4, 5, 6});
  // Only registry waveforms that have a signal come back, under their ids.
  ASSERT_EQ(r.waveforms.size(), 1u);
  const WaveformResult& ppg = r.waveforms.at("ppg_waveform");
  EXPECT_EQ(ppg.unit, "unitless");
  EXPECT_EQ(ppg.note,
            "Latest estimate of PPG Waveform with frame-wise confidence scores using model-x.");

  // An alias and its id in one batch describe the same frames: one entry per
  // frame holding their mean, not the batch appended twice.
  r = sd::process_core(core, batch({0.3, 0.4}, {{"ppg", {2, 4}}, {"ppg_waveform", {4, 8}}}),
                       WaveformMode::global());
  expect_consistent(r);
  expect_floats(stored_values(core, "ppg_waveform"), {1, 2, 3, 3, 6});
  EXPECT_EQ(core.signal_series.at("ppg_waveform").size(), core.timestamps.size());
  EXPECT_EQ(r.waveforms.at("ppg_waveform").note,
            "Global estimate of PPG Waveform with frame-wise confidence scores using model-x.");
}

TEST(SessionSignals, WaveformProcessedFromFiveSecondsOverWholeHistory) {
  // 32 frames per second on exactly representable times: five seconds are
  // 160 frames, reached by the extra frame of the second case only.
  const SessionConfig cfg = config({}, 32.0f, std::vector<std::string>{"ppg_waveform"});
  for (const std::size_t frames : {std::size_t{158}, std::size_t{159}}) {
    SCOPED_TRACE(frames);
    SessionCore core = sd::make_core(cfg);
    std::vector<float> raw = sine(0, frames, 32.0, 1.1, 3.0, 10.0);
    for (std::size_t i = 0; i < frames; ++i) raw[i] += 0.01f * static_cast<float>(i);
    SessionInput in = batch(frame_times(0, frames, 32.0), {{"ppg_waveform", raw}});
    in.signals["ppg_waveform"].confidence.assign(frames, 0.25f);
    sd::process_core(core, in, WaveformMode::incremental());

    // One more frame, returned alone: it carries the processing of the whole history.
    const std::vector<float> extra = {12.0f};
    SessionResult r = sd::process_core(core, batch({frames / 32.0}, {{"ppg_waveform", extra}}),
                                       WaveformMode::incremental());
    raw.push_back(12.0f);
    const std::uint64_t window = moving_average_window_for_cutoff(32.0f, 3.67f, true);
    const std::vector<float> processed =
        frames + 1 < 160 ? raw : standardize(moving_average(raw, window));
    ASSERT_EQ(r.waveforms.at("ppg_waveform").data.size(), 1u);
    EXPECT_NEAR(r.waveforms.at("ppg_waveform").data[0], processed.back(), 1e-5f);
    EXPECT_EQ(r.waveforms.at("ppg_waveform").confidence, std::vector<float>{1.0f});

    r = sd::process_core(core, batch({}), WaveformMode::global());
    expect_floats(r.waveforms.at("ppg_waveform").data, processed, 1e-5f);
    EXPECT_FLOAT_EQ(r.waveforms.at("ppg_waveform").confidence.front(), 0.25f);
  }
}

TEST(SessionSignals, LateSignalStaysAlignedWithNewestFrames) {
  SessionCore core = sd::make_core(config({}, 30.0f, std::vector<std::string>{"ppg_waveform"}));
  sd::process_core(core, batch(frame_times(0, 60, 30.0), {{"spo2", constant(60, 97)}}),
                   WaveformMode::incremental());
  // The pulse signal starts with the third second.
  const std::vector<float> late = sine(60, 30, 30.0, 1.2);
  SessionResult r = sd::process_core(
      core, batch(frame_times(60, 30, 30.0), {{"ppg_waveform", late}}),
      WaveformMode::incremental());
  expect_consistent(r);
  EXPECT_EQ(r.timestamp.size(), 30u);
  expect_floats(r.waveforms.at("ppg_waveform").data, late);

  // A window reaching before the signal's start returns the part it holds:
  // the newest 30 of the 45 returned frames.
  r = sd::process_core(core, batch({}), WaveformMode::windowed(1.5f));
  expect_consistent(r);
  EXPECT_EQ(r.timestamp.size(), 45u);
  expect_floats(r.waveforms.at("ppg_waveform").data, late);

  const std::vector<float> more = sine(90, 10, 30.0, 1.2);
  r = sd::process_core(core, batch(frame_times(90, 10, 30.0), {{"ppg_waveform", more}}),
                       WaveformMode::incremental());
  expect_consistent(r);
  expect_floats(r.waveforms.at("ppg_waveform").data, more);
}

// ---- Refused batches ---------------------------------------------------------------

struct MismatchCase {
  std::string name;
  std::function<void(SessionInput&)> break_batch;
  std::string message;
};
void PrintTo(const MismatchCase& c, std::ostream* os) { *os << c.name; }

class SessionValidation : public ::testing::TestWithParam<MismatchCase> {};

TEST_P(SessionValidation, RefusedWithMessageAndStateUntouched) {
  const MismatchCase& c = GetParam();
  SessionCore core =
      sd::make_core(config({"spo2"}, 30.0f, std::vector<std::string>{"ppg_waveform"}, true));
  sd::process_core(core,
                   batch(frame_times(0, 60, 25.0),
                         {{"ppg", sine(0, 60, 25.0, 1.0)}, {"spo2", constant(60, 97)}}),
                   WaveformMode::incremental());
  const std::vector<double> times = core.timestamps;
  const std::vector<float> ppg = stored_values(core, "ppg_waveform");
  const double last = core.last_emitted_timestamp;

  SessionInput bad = batch(frame_times(60, 10, 25.0),
                           {{"ppg", sine(60, 10, 25.0, 1.0)}, {"abp", constant(10, 90)}});
  bad.face = FaceInput{std::vector<std::vector<float>>(10, {1, 2, 3, 4}),
                       std::vector<float>(10, 1.0f)};
  c.break_batch(bad);
  const SessionResult r = sd::process_core(core, bad, WaveformMode::global());

  EXPECT_EQ(r.message, c.message);
  EXPECT_TRUE(r.timestamp.empty());
  EXPECT_FALSE(r.face.has_value());
  EXPECT_TRUE(r.waveforms.empty());
  EXPECT_TRUE(r.vitals.empty());
  EXPECT_FALSE(r.rolling_vitals.has_value());
  EXPECT_EQ(r.fps, 30.0f);
  EXPECT_EQ(core.timestamps, times);
  EXPECT_EQ(stored_values(core, "ppg_waveform"), ppg);
  EXPECT_EQ(core.signal_series.count("abp_waveform"), 0u);
  EXPECT_EQ(core.face_boxes.size(), times.size());
  EXPECT_EQ(core.last_emitted_timestamp, last);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionValidation,
    ::testing::Values(
        MismatchCase{"FaceCoordinates", [](SessionInput& b) { b.face->coordinates.pop_back(); },
                     "Length mismatch: face.coordinates has length 9, expected 10"},
        MismatchCase{"FaceConfidence", [](SessionInput& b) { b.face->confidence.pop_back(); },
                     "Length mismatch: face.confidence has length 9, expected 10"},
        MismatchCase{"BothFaceListsReportCoordinates",
                     [](SessionInput& b) {
                       b.face->coordinates.resize(9);
                       b.face->confidence.resize(3);
                     },
                     "Length mismatch: face.coordinates has length 9, expected 10"},
        MismatchCase{"SignalDataKeyAsGiven",
                     [](SessionInput& b) { b.signals["ppg"].data.push_back(1); },
                     "Length mismatch: signals[ppg].data has length 11, expected 10"},
        MismatchCase{"SignalConfidence",
                     [](SessionInput& b) { b.signals["ppg"].confidence.clear(); },
                     "Length mismatch: signals[ppg].confidence has length 0, expected 10"},
        MismatchCase{"FaceBeforeSignals",
                     [](SessionInput& b) {
                       b.signals["ppg"].data.clear();
                       b.face->confidence.clear();
                     },
                     "Length mismatch: face.confidence has length 0, expected 10"},
        MismatchCase{"TimestampsShort",
                     [](SessionInput& b) {
                       b.timestamp.clear();
                       b.face.reset();
                     },
                     "Length mismatch: signals[abp].data has length 10, expected 0"}),
    [](const auto& info) { return info.param.name; });

// ---- Reset --------------------------------------------------------------------------

TEST(SessionReset, KeepsSignalKeysWithEmptySeries) {
  Session session(config({"spo2"}, 30.0f, std::vector<std::string>{"ppg_waveform"}));
  SessionCore core =
      sd::make_core(config({"spo2"}, 30.0f, std::vector<std::string>{"ppg_waveform"}));
  const SessionInput first = batch(frame_times(100, 60, 30.0),
                                   {{"ppg", sine(0, 60, 30.0, 1.2)}, {"spo2", constant(60, 97)}});
  sd::process_core(core, first, WaveformMode::incremental());
  session.process(first, WaveformMode::incremental());
  sd::reset_core(core);
  session.reset();

  EXPECT_TRUE(core.timestamps.empty());
  EXPECT_TRUE(core.face_boxes.empty());
  EXPECT_TRUE(core.face_confidences.empty());
  EXPECT_EQ(core.last_emitted_timestamp, -1.0);
  for (const char* id : {"ppg_waveform", "spo2"}) {
    EXPECT_EQ(core.signal_series.at(id).size(), 0u) << id;
    EXPECT_EQ(core.confidence_series.at(id).size(), 0u) << id;
  }
  EXPECT_EQ(core.vital_ids, std::vector<std::string>{"spo2"});
  EXPECT_EQ(core.max_frames, 1800u);

  for (const SessionResult& r : {sd::process_core(core, batch({}), WaveformMode::global()),
                                 session.process(batch({}), WaveformMode::global())}) {
    expect_consistent(r);
    EXPECT_TRUE(r.timestamp.empty());
    EXPECT_FALSE(r.face.has_value());
    EXPECT_TRUE(r.waveforms.empty());
    EXPECT_TRUE(r.vitals.empty());
  }
  // Frames older than anything seen before the reset are taken as new.
  const SessionResult r = session.process(
      batch(frame_times(0, 60, 30.0), {{"spo2", constant(60, 95)}}), WaveformMode::incremental());
  EXPECT_EQ(r.timestamp.size(), 60u);
  EXPECT_FLOAT_EQ(r.vitals.at("spo2").value, 95.0f);
}

// ---- Hostile input ----------------------------------------------------------------------

struct Step {
  SessionInput input;
  WaveformMode mode;
};
struct HostileCase {
  std::string name;
  float fps;
  std::vector<Step> steps;
};
void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

// A stream of every model signal over the given times, with `poison` written
// into every 7th sample.
SessionInput all_signals(std::vector<double> times, float poison = 1.0f) {
  const std::size_t n = times.size();
  SessionInput in = batch(std::move(times), {{"ppg", sine(0, n, 30.0, 1.2)},
                                             {"resp", sine(0, n, 30.0, 0.25)},
                                             {"abp", sine(0, n, 30.0, 1.2, 20.0, 100.0)},
                                             {"sbp", constant(n, 120)},
                                             {"dbp", constant(n, 80)},
                                             {"spo2", constant(n, 97)},
                                             {"ptt", constant(n, 200)},
                                             {"pwv", constant(n, 0.4f)}});
  if (poison != 1.0f) {
    for (auto& [key, s] : in.signals) {
      for (std::size_t i = 0; i < n; i += 7) {
        s.data[i] = poison;
        s.confidence[i] = poison;
      }
    }
  }
  return in;
}

std::vector<double> times_with(std::size_t n, std::function<double(std::size_t)> at) {
  std::vector<double> t(n);
  for (std::size_t i = 0; i < n; ++i) t[i] = at(i);
  return t;
}

class SessionHostile : public ::testing::TestWithParam<HostileCase> {};

// Whatever arrives, every call returns a consistent, disclaimed result.
TEST_P(SessionHostile, ResultsStayConsistent) {
  const HostileCase& c = GetParam();
  std::vector<std::string> waveforms = kAllVitals;
  waveforms.push_back("no_such_waveform");
  Session session(config(kAllVitals, c.fps, waveforms, true));
  for (const Step& step : c.steps) {
    const SessionResult r = session.process(step.input, step.mode);
    expect_consistent(r);
    EXPECT_TRUE(std::isfinite(r.fps) || !std::isfinite(c.fps));
    for (const auto& [id, v] : r.vitals) {
      EXPECT_FALSE(std::isnan(v.value)) << id;
    }
  }
}

const WaveformMode kInc = WaveformMode::incremental();
const WaveformMode kGlobal = WaveformMode::global();

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionHostile,
    ::testing::Values(
        HostileCase{"NaNSamples", 30.0f,
                    {{all_signals(frame_times(0, 600, 30.0), kNaN), kInc},
                     {all_signals(frame_times(600, 300, 30.0), kNaN), kGlobal}}},
        HostileCase{"InfiniteSamples", 30.0f,
                    {{all_signals(frame_times(0, 600, 30.0), kInf), kInc},
                     {all_signals(frame_times(600, 300, 30.0), -kInf), kGlobal},
                     {all_signals(frame_times(600, 300, 30.0), kInf), kInc}}},
        HostileCase{"NaNTimestamps", 30.0f,
                    {{all_signals(times_with(300, [](std::size_t i) {
                        return i % 5 ? i / 30.0 : kNaNd;
                      })),
                      kInc},
                     {all_signals(frame_times(300, 300, 30.0)), kGlobal}}},
        HostileCase{"DuplicateTimestamps", 30.0f,
                    {{all_signals(std::vector<double>(600, 1.0)), kGlobal},
                     {all_signals(std::vector<double>(600, 1.0)), kInc}}},
        HostileCase{"DecreasingTimestamps", 30.0f,
                    {{all_signals(times_with(600, [](std::size_t i) { return 100.0 - i / 30.0; })),
                      kGlobal},
                     {all_signals(frame_times(3000, 300, 30.0)), WaveformMode::windowed(5.0f)}}},
        HostileCase{"MillisecondTimestamps", 30.0f,
                    {{all_signals(frame_times(0, 900, 0.03)), kInc},
                     {all_signals(frame_times(900, 300, 0.03)), kGlobal}}},
        HostileCase{"EmptyBatches", 30.0f,
                    {{batch({}), kInc},
                     {all_signals({}), kGlobal},
                     {all_signals(frame_times(0, 300, 30.0)), kInc},
                     {batch({}), kGlobal}}},
        HostileCase{"ZeroFps", 0.0f,
                    {{all_signals(frame_times(0, 600, 30.0)), kGlobal},
                     {all_signals(frame_times(600, 30, 30.0)), kInc}}},
        HostileCase{"NegativeFps", -30.0f,
                    {{all_signals(frame_times(0, 600, 30.0)), kGlobal},
                     {all_signals(frame_times(600, 30, 30.0)), kInc}}},
        HostileCase{"NaNFps", kNaN,
                    {{all_signals(frame_times(0, 600, 30.0)), kGlobal},
                     {all_signals(frame_times(600, 30, 30.0)), kInc}}},
        HostileCase{"HugeFps", 1e30f,
                    {{all_signals(frame_times(0, 600, 30.0)), kGlobal},
                     {all_signals(std::vector<double>(300, 50.0)), kGlobal},
                     {all_signals(frame_times(2000, 30, 30.0)), WaveformMode::windowed(1e30f)}}},
        HostileCase{"OddWindows", 30.0f,
                    {{all_signals(frame_times(0, 600, 30.0)), WaveformMode::windowed(0.0f)},
                     {all_signals(frame_times(600, 30, 30.0)), WaveformMode::windowed(kNaN)},
                     {all_signals(frame_times(630, 30, 30.0)), WaveformMode::windowed(-1.0f)},
                     {all_signals(frame_times(660, 30, 30.0)), WaveformMode::windowed(1e30f)}}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
