// One session driven from several threads at once: process and reset are
// serialised by the session's lock, so every result is self-consistent and
// the final state is one that some serial order of the calls produces.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "session_fixtures.hpp"
#include "state/session.hpp"

using namespace orvane;
using namespace orvane::fixtures;

namespace {

constexpr std::size_t kBatchFrames = 10;
constexpr double kFps = 30.0;

// Frame k is captured at k / 30 s; every batch carries both signals and a face.
SessionInput frames_batch(std::size_t first) {
  SessionInput in = batch(frame_times(first, kBatchFrames, kFps),
                          {{"ppg", sine(first, kBatchFrames, kFps, 1.2)},
                           {"spo2", constant(kBatchFrames, 97)}});
  in.face = FaceInput{std::vector<std::vector<float>>(kBatchFrames, {1, 2, 3, 4}),
                      std::vector<float>(kBatchFrames, 0.9f)};
  return in;
}

// A result that no serial run could give shows a torn state.
void check_result(const SessionResult& r) {
  ASSERT_EQ(r.message, kDisclaimer);
  const std::size_t frames = r.timestamp.size();
  for (std::size_t i = 1; i < frames; ++i) ASSERT_LT(r.timestamp[i - 1], r.timestamp[i]);
  if (frames == 0) {
    ASSERT_TRUE(r.waveforms.empty());
  } else {
    ASSERT_TRUE(r.face.has_value());
    ASSERT_EQ(r.waveforms.size(), 2u);
  }
  if (r.face) {
    ASSERT_EQ(r.face->coordinates.size(), frames);
    ASSERT_EQ(r.face->confidence.size(), frames);
  }
  for (const auto& [id, w] : r.waveforms) {
    ASSERT_EQ(w.data.size(), frames) << id;
    ASSERT_EQ(w.confidence.size(), frames) << id;
  }
  if (r.vitals.count("spo2")) {
    ASSERT_FLOAT_EQ(r.vitals.at("spo2").value, 97.0f);
  }
}

TEST(SessionThreads, ConcurrentProcessAndResetKeepStateConsistent) {
  Session session(config({"heart_rate", "spo2"}, 30.0f,
                         std::vector<std::string>{"ppg_waveform", "spo2"}));
  std::atomic<std::size_t> next_frame{0};
  std::atomic<bool> failed{false};
  const WaveformMode modes[] = {WaveformMode::incremental(), WaveformMode::windowed(2.0f),
                                WaveformMode::global(), WaveformMode::incremental()};

  auto writer = [&](std::size_t id) {
    for (std::size_t call = 0; call < 150 && !failed; ++call) {
      const std::size_t first = next_frame.fetch_add(kBatchFrames);
      const SessionResult r = session.process(frames_batch(first), modes[(id + call) % 4]);
      check_result(r);
      if (::testing::Test::HasFatalFailure()) failed = true;
    }
  };
  auto resetter = [&] {
    for (std::size_t call = 0; call < 150 && !failed; ++call) {
      if (call % 25 == 0) {
        session.reset();
      } else {
        check_result(session.process(batch({}), WaveformMode::windowed(1.0f)));
        if (::testing::Test::HasFatalFailure()) failed = true;
      }
    }
  };

  std::vector<std::thread> threads;
  for (std::size_t id = 0; id < 3; ++id) threads.emplace_back(writer, id);
  threads.emplace_back(resetter);
  for (std::thread& t : threads) t.join();
  ASSERT_FALSE(failed);

  // No reset runs any more: every batch that is newer than all stored frames
  // is appended, so after one more batch the newest frame is that batch's.
  const std::size_t last_first = next_frame.load();
  const SessionResult r = session.process(frames_batch(last_first), WaveformMode::global());
  check_result(r);
  ASSERT_FALSE(r.timestamp.empty());
  EXPECT_DOUBLE_EQ(r.timestamp.back(), static_cast<double>(last_first + kBatchFrames - 1) / kFps);
  // Every stored frame was sent by someone: its time is a whole frame number
  // below the counter.
  for (const double t : r.timestamp) {
    const double frame = t * kFps;
    EXPECT_NEAR(frame, std::round(frame), 1e-6);
    EXPECT_LT(std::round(frame), static_cast<double>(last_first + kBatchFrames));
  }
}

}  // namespace
