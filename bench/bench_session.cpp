// The session's hot path and its memory over a long stream.
//
// Scenario: 30 frames per second; the model delivers ppg_waveform,
// respiratory_waveform, abp_waveform, sbp, dbp and spo2 with confidences; all
// 21 vitals are configured and the pulse and respiratory waveforms returned.
//   BM_IncrementalSecond      one 1-second batch per call on 60 s of history
//   BM_DayLongStream          86,400 such calls (24 h simulated), live heap and
//                             stored frames sampled after 1 min, 1 h and 24 h
//                             (live heap: bytes obtained through operator new
//                             and not yet returned, counted by this executable)
//   BM_GlobalRollingTenMinutes one Global call with rolling vitals over 10 min
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "state/session.hpp"

// Live bytes handed out by operator new. mallinfo's in-use figure also counts
// chunks parked in the allocator's caches, which drifts without any growth.
std::atomic<long long> g_live_bytes{0};

void* operator new(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  g_live_bytes.fetch_add(static_cast<long long>(malloc_usable_size(p)), std::memory_order_relaxed);
  return p;
}
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  g_live_bytes.fetch_sub(static_cast<long long>(malloc_usable_size(p)), std::memory_order_relaxed);
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using orvane::Session;
using orvane::SessionConfig;
using orvane::SessionInput;
using orvane::SignalInput;
using orvane::WaveformMode;

constexpr double kFps = 30.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

SessionConfig bench_config(bool rolling) {
  SessionConfig c;
  c.model_name = "bench-model";
  c.supported_vitals = {"heart_rate", "respiratory_rate", "stress_index", "pulse_pressure",
                        "ppg_waveform", "abp_waveform", "sbp", "dbp", "map", "pwa", "pwp", "ptt",
                        "pwv", "respiratory_waveform", "hrv_sdnn", "hrv_rmssd", "hrv_lfhf",
                        "hrv_pnn50", "hrv_sd1sd2", "spo2", "ie_ratio"};
  c.return_waveforms = std::vector<std::string>{"ppg_waveform", "respiratory_waveform"};
  c.fps_target = static_cast<float>(kFps);
  c.input_size = 72;
  c.n_inputs = 4;
  c.roi_method = "Face";
  c.estimate_rolling_vitals = rolling;
  return c;
}

// Synthetic model output: a pulse near 1.2 Hz whose beat-to-beat period
// varies, breathing near 0.25 Hz that also moves the pulse baseline, arterial
// pressure pulses from 80 to 120 mmHg, and noisy pressure and SpO2 readings.
class Stream {
 public:
  SessionInput next(std::size_t frames) {
    SessionInput in;
    in.timestamp.resize(frames);
    SignalInput ppg, resp, abp, sbp, dbp, spo2;
    for (SignalInput* s : {&ppg, &resp, &abp, &sbp, &dbp, &spo2}) {
      s->data.resize(frames);
      s->confidence.resize(frames);
    }
    for (std::size_t i = 0; i < frames; ++i, ++frame_) {
      const double t = static_cast<double>(frame_) / kFps;
      in.timestamp[i] = t;
      // Heart phase advances at 1.2 Hz modulated by breathing (sinus arrhythmia).
      const double breath = std::sin(kTwoPi * 0.25 * t);
      heart_phase_ += (1.2 + 0.08 * breath) / kFps;
      const double phi = heart_phase_ - std::floor(heart_phase_);
      const double beat = std::sin(kTwoPi * phi) + 0.4 * std::sin(2.0 * kTwoPi * phi + 0.8);
      ppg.data[i] = static_cast<float>(beat + 0.3 * breath + 0.05 * noise_(rng_));
      resp.data[i] = static_cast<float>(breath + 0.3 * std::sin(2.0 * kTwoPi * 0.25 * t) +
                                        0.05 * noise_(rng_));
      const double pulse = phi < 0.2 ? phi / 0.2 : std::exp(-3.0 * (phi - 0.2) / 0.8);
      abp.data[i] = static_cast<float>(80.0 + 40.0 * pulse + 0.5 * noise_(rng_));
      sbp.data[i] = static_cast<float>(120.0 + noise_(rng_));
      dbp.data[i] = static_cast<float>(80.0 + noise_(rng_));
      spo2.data[i] = static_cast<float>(97.0 + 0.5 * noise_(rng_));
      for (SignalInput* s : {&ppg, &resp, &abp, &sbp, &dbp, &spo2}) {
        s->confidence[i] = static_cast<float>(0.9 + 0.05 * noise_(rng_));
      }
    }
    in.signals = {{"ppg_waveform", ppg}, {"respiratory_waveform", resp}, {"abp_waveform", abp},
                  {"sbp", sbp}, {"dbp", dbp}, {"spo2", spo2}};
    return in;
  }

 private:
  std::size_t frame_ = 0;
  double heart_phase_ = 0;
  std::mt19937 rng_{12345};
  std::normal_distribution<double> noise_{0.0, 1.0};
};

// A session that already holds 60 s of frames, and the stream that feeds it.
struct Primed {
  Session session{bench_config(false)};
  Stream stream;
  Primed() {
    for (int s = 0; s < 60; ++s) session.process(stream.next(30), WaveformMode::incremental());
  }
};

void BM_IncrementalSecond(benchmark::State& state) {
  Primed primed;
  // Batches are built outside the timed region.
  std::vector<SessionInput> batches;
  for (int i = 0; i < 256; ++i) batches.push_back(primed.stream.next(30));
  std::size_t next = 0;
  std::size_t vitals = 0;
  for (auto _ : state) {
    const auto result = primed.session.process(batches[next], WaveformMode::incremental());
    vitals = result.vitals.size();
    benchmark::DoNotOptimize(result);
    if (++next == batches.size()) {
      state.PauseTiming();
      batches.clear();
      for (int i = 0; i < 256; ++i) batches.push_back(primed.stream.next(30));
      next = 0;
      state.ResumeTiming();
    }
  }
  state.counters["vitals"] = static_cast<double>(vitals);
}
BENCHMARK(BM_IncrementalSecond)->Unit(benchmark::kMicrosecond);

double live_heap_bytes() { return static_cast<double>(g_live_bytes.load()); }

void BM_DayLongStream(benchmark::State& state) {
  for (auto _ : state) {
    Session session(bench_config(false));
    Stream stream;
    // The rings allocate in blocks, so the live heap steps up and down by a
    // block per series as the stored frames move across block edges; the
    // highest level of the first and of the last hour shows whether it grows.
    double first_hour_max = 0;
    double last_hour_max = 0;
    for (int second = 1; second <= 86400; ++second) {
      const auto result = session.process(stream.next(30), WaveformMode::incremental());
      benchmark::DoNotOptimize(result);
      if (second <= 3600) first_hour_max = std::max(first_hour_max, live_heap_bytes());
      if (second > 86400 - 3600) last_hour_max = std::max(last_hour_max, live_heap_bytes());
      if (second == 60 || second == 3600 || second == 86400) {
        // A Windowed call of more than 60 s returns every stored frame.
        const std::size_t stored =
            session.process(SessionInput{}, WaveformMode::windowed(1e6f)).timestamp.size();
        const std::string at = second == 60 ? "1min" : second == 3600 ? "1h" : "24h";
        state.counters["heap_bytes_" + at] = live_heap_bytes();
        state.counters["stored_frames_" + at] = static_cast<double>(stored);
      }
    }
    state.counters["heap_max_first_hour"] = first_hour_max;
    state.counters["heap_max_last_hour"] = last_hour_max;
  }
}
BENCHMARK(BM_DayLongStream)->Iterations(1)->Unit(benchmark::kSecond);

void BM_GlobalRollingTenMinutes(benchmark::State& state) {
  Session session(bench_config(true));
  Stream stream;
  // A Global call stores the whole 10 minutes without trimming; the timed
  // calls add no frames, so each one redoes the same work.
  session.process(stream.next(18000), WaveformMode::global());
  std::size_t rolling = 0;
  for (auto _ : state) {
    const auto result = session.process(SessionInput{}, WaveformMode::global());
    rolling = result.rolling_vitals ? result.rolling_vitals->size() : 0;
    benchmark::DoNotOptimize(result);
  }
  state.counters["rolling_series"] = static_cast<double>(rolling);
}
BENCHMARK(BM_GlobalRollingTenMinutes)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
