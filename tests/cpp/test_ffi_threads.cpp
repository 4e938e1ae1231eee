// One session and one planner used from several threads at once through the
// C ABI: process, reset, clone and free interleave freely. Run under
// ThreadSanitizer; the checks here are what must hold whatever the
// interleaving: every result decodes, no frame is reported twice, and every
// stored frame was reported by exactly one call.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "orvane_core.h"
#include "test_ffi_wire.hpp"

namespace {

using ffi_test::Reader;
using ffi_test::Status;
using ffi_test::Writer;

constexpr float kFps = 30.0f;
constexpr int kProcessThreads = 4;
constexpr int kBatchesPerThread = 25;
constexpr int kFramesPerBatch = 15;

// A batch of consecutive frames of a 1.2 Hz pulse starting at frame `first`.
Writer pulse_batch(std::int64_t first) {
  Writer w;
  w.byte(0);                                   // no face
  w.i32(1).str("ppg");                         // one signal
  w.i32(kFramesPerBatch);
  for (int i = 0; i < kFramesPerBatch; ++i) {
    const double t = static_cast<double>(first + i) / kFps;
    w.f32(static_cast<float>(std::sin(2.0 * M_PI * 1.2 * t)));
  }
  w.i32(kFramesPerBatch);
  for (int i = 0; i < kFramesPerBatch; ++i) w.f32(1.0f);
  w.i32(kFramesPerBatch);
  for (int i = 0; i < kFramesPerBatch; ++i) w.f64(static_cast<double>(first + i) / kFps);
  return w;
}

Writer mode(std::int32_t variant) { return Writer{}.i32(variant); }

ffi_test::DecodedResult process(void* session, const Writer& input, std::int32_t variant) {
  Status status;
  ByteBuffer out = hbind_orvane_core_fn_method_session_process(
      hbind_orvane_core_fn_clone_session(session, nullptr), ffi_test::to_buffer(input),
      ffi_test::to_buffer(mode(variant)), status.ptr());
  EXPECT_EQ(status.raw.code, 0);
  return ffi_test::decode_session_result(Reader{ffi_test::take(out)});
}

void* new_session() {
  Status status;
  void* session = hbind_orvane_core_fn_constructor_session_new(
      ffi_test::to_buffer(ffi_test::session_config("heart_rate", kFps)), status.ptr());
  EXPECT_EQ(status.raw.code, 0);
  return session;
}

// Planner calls whose answers are fixed, since the planner never changes.
struct PlannerProbe {
  void* planner;
  Writer buffers;

  explicit PlannerProbe(void* p) : planner(p) {
    buffers.i32(2);
    buffers.str("old").rect(0, 0, 10, 10).u32(50).f64(1.0).f64(9.0);
    buffers.str("new").rect(2, 0, 10, 10).u32(30).f64(2.0).f64(9.0);
  }

  std::vector<std::uint8_t> poll() const {
    Status status;
    return ffi_test::take(hbind_orvane_core_fn_method_bufferplanner_poll(
        hbind_orvane_core_fn_clone_bufferplanner(planner, nullptr), ffi_test::to_buffer(buffers),
        10.0, ffi_test::to_buffer(mode(1)), 1, 0, status.ptr()));
  }

  std::vector<std::uint8_t> evaluate() const {
    Status status;
    return ffi_test::take(hbind_orvane_core_fn_method_bufferplanner_evaluate_target(
        hbind_orvane_core_fn_clone_bufferplanner(planner, nullptr),
        ffi_test::to_buffer(Writer{}.rect(0, 0, 10, 10)), 10.0, ffi_test::to_buffer(buffers),
        status.ptr()));
  }
};

TEST(FfiThreads, ProcessCloneFreeAndPlannerCallsInterleave) {
  void* session = new_session();
  Status status;
  void* planner = hbind_orvane_core_fn_constructor_bufferplanner_new(
      ffi_test::to_buffer(Writer{}.u32(16).u32(4).u32(150).u32(900).u32(3)), status.ptr());
  ASSERT_EQ(status.raw.code, 0);

  const PlannerProbe probe(planner);
  const std::vector<std::uint8_t> expected_poll = probe.poll();
  const std::vector<std::uint8_t> expected_action = probe.evaluate();

  std::atomic<std::int64_t> next_frame{0};
  std::atomic<bool> done{false};
  std::mutex seen_mutex;
  std::vector<double> reported;  // every timestamp any result returned
  std::atomic<int> bad_messages{0};
  std::atomic<int> planner_mismatches{0};

  std::vector<std::thread> threads;
  for (int t = 0; t < kProcessThreads; ++t) {
    threads.emplace_back([&] {
      for (int b = 0; b < kBatchesPerThread; ++b) {
        const std::int64_t first = next_frame.fetch_add(kFramesPerBatch);
        const ffi_test::DecodedResult result = process(session, pulse_batch(first), 1);
        if (result.message.rfind("The provided values are estimates", 0) != 0) ++bad_messages;
        const std::lock_guard<std::mutex> lock(seen_mutex);
        reported.insert(reported.end(), result.timestamps.begin(), result.timestamps.end());
      }
    });
  }
  // Extra references taken and dropped on other threads while calls run.
  threads.emplace_back([&] {
    while (!done.load()) {
      void* s = hbind_orvane_core_fn_clone_session(session, nullptr);
      void* p = hbind_orvane_core_fn_clone_bufferplanner(planner, nullptr);
      hbind_orvane_core_fn_free_session(s, nullptr);
      hbind_orvane_core_fn_free_bufferplanner(p, nullptr);
    }
  });
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&] {
      while (!done.load()) {
        if (probe.poll() != expected_poll || probe.evaluate() != expected_action) {
          ++planner_mismatches;
        }
      }
    });
  }
  for (int t = 0; t < kProcessThreads; ++t) threads[t].join();
  done = true;
  for (std::size_t t = kProcessThreads; t < threads.size(); ++t) threads[t].join();

  EXPECT_EQ(bad_messages.load(), 0);
  EXPECT_EQ(planner_mismatches.load(), 0);

  // The whole stored history, then compare with what the calls reported.
  const ffi_test::DecodedResult all = process(session, Writer{}.byte(0).i32(0).i32(0), 3);
  std::vector<double> sorted = reported;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end())
      << "a frame was reported by two calls";
  std::vector<double> stored = all.timestamps;
  std::sort(stored.begin(), stored.end());
  EXPECT_EQ(stored, sorted) << "stored frames and reported frames differ";
  // Batches that arrive out of order are merged into frames already held,
  // so at most every frame sent is stored, and at least one batch per thread.
  EXPECT_LE(stored.size(), static_cast<std::size_t>(next_frame.load()));
  EXPECT_GE(stored.size(), static_cast<std::size_t>(kProcessThreads * kFramesPerBatch));
  // Enough of a clean pulse arrived for a heart rate.
  EXPECT_NE(std::find(all.vital_ids.begin(), all.vital_ids.end(), "heart_rate"),
            all.vital_ids.end());

  hbind_orvane_core_fn_free_session(session, nullptr);
  hbind_orvane_core_fn_free_bufferplanner(planner, nullptr);
}

TEST(FfiThreads, ResetRacesWithProcess) {
  void* session = new_session();
  std::atomic<std::int64_t> next_frame{0};
  std::atomic<bool> done{false};
  std::mutex seen_mutex;
  std::vector<double> reported;
  std::atomic<int> failures{0};

  std::vector<std::thread> workers;
  for (int t = 0; t < 3; ++t) {
    workers.emplace_back([&] {
      for (int b = 0; b < kBatchesPerThread; ++b) {
        const std::int64_t first = next_frame.fetch_add(kFramesPerBatch);
        const ffi_test::DecodedResult result = process(session, pulse_batch(first), 1);
        if (!std::is_sorted(result.timestamps.begin(), result.timestamps.end())) ++failures;
        const std::lock_guard<std::mutex> lock(seen_mutex);
        reported.insert(reported.end(), result.timestamps.begin(), result.timestamps.end());
      }
    });
  }
  std::thread resetter([&] {
    while (!done.load()) {
      Status status;
      hbind_orvane_core_fn_method_session_reset(
          hbind_orvane_core_fn_clone_session(session, nullptr), status.ptr());
      if (status.raw.code != 0) ++failures;
      std::this_thread::yield();
    }
  });
  for (auto& w : workers) w.join();
  done = true;
  resetter.join();

  EXPECT_EQ(failures.load(), 0);
  // A reset empties the history, so a later Incremental call can only return
  // frames stored after it: no frame is ever reported twice.
  std::sort(reported.begin(), reported.end());
  EXPECT_EQ(std::adjacent_find(reported.begin(), reported.end()), reported.end());
  hbind_orvane_core_fn_free_session(session, nullptr);
}

}  // namespace
