// The core side of the Python call-overhead figures: the same calls that
// bench/bench_python.py makes through the module, made directly, on the same
// inputs (a 1.2 Hz pulse and a 0.25 Hz breath, 30 frames per second).
//   - the heart-rate spectrum of 300 samples without a workspace, as
//     estimate_heart_rate runs it;
//   - Session::process of one 30-frame batch at steady state (a full minute
//     of history), with the vitals and waveforms configured and with none.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "signal/fft.hpp"
#include "state/session.hpp"

using namespace orvane;

namespace {

constexpr float kFs = 30.0f;
constexpr std::size_t kBatch = 30;

std::vector<float> sinusoid(double hz, std::size_t n, std::size_t start = 0) {
  std::vector<float> x(n);
  for (std::size_t j = 0; j < n; ++j) {
    x[j] = static_cast<float>(std::sin(2 * M_PI * hz * static_cast<double>(start + j) / kFs));
  }
  return x;
}

// Frames [start, start + kBatch): face, pulse, breath and their confidences.
SessionInput batch(std::size_t start) {
  SessionInput input;
  FaceInput face;
  face.coordinates.assign(kBatch, {10, 20, 100, 120});
  face.confidence.assign(kBatch, 1.0f);
  input.face = face;
  input.signals["ppg"] = {sinusoid(1.2, kBatch, start), std::vector<float>(kBatch, 0.9f)};
  input.signals["resp"] = {sinusoid(0.25, kBatch, start), std::vector<float>(kBatch, 0.9f)};
  for (std::size_t j = 0; j < kBatch; ++j) input.timestamp.push_back((start + j) / double(kFs));
  return input;
}

SessionConfig config(bool with_vitals) {
  SessionConfig c;
  c.model_name = "bench";
  c.fps_target = kFs;
  c.input_size = 40;
  c.n_inputs = 4;
  c.roi_method = "face";
  if (with_vitals) {
    c.supported_vitals = {"heart_rate", "respiratory_rate"};
    c.return_waveforms = std::vector<std::string>{"ppg_waveform", "respiratory_waveform"};
  }
  return c;
}

void BM_PyCore_EstimateHeartRate300(benchmark::State& state) {
  const std::vector<float> x = sinusoid(1.2, 300);
  for (auto _ : state) {
    RateEstimate r = estimate_rate(x, kFs, RateMethod::periodogram(0.005f), 40.0f, 220.0f,
                                   std::nullopt, nullptr);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_PyCore_EstimateHeartRate300)->Unit(benchmark::kMicrosecond);

// Arg 1: vitals and waveforms configured; 0: none (the merge and framing only).
void BM_PyCore_SessionProcessBatch30(benchmark::State& state) {
  Session session(config(state.range(0) != 0));
  std::size_t frame = 0;
  for (; frame < 60 * kBatch; frame += kBatch) session.process(batch(frame), WaveformMode::incremental());
  // Pre-built batches, so that only process is timed; timestamps keep advancing.
  std::vector<SessionInput> batches;
  for (int k = 0; k < 64; ++k) batches.push_back(batch(frame + k * kBatch));
  std::size_t k = 0;
  for (auto _ : state) {
    if (k == batches.size()) {
      state.PauseTiming();
      frame += batches.size() * kBatch;
      for (std::size_t i = 0; i < batches.size(); ++i) batches[i] = batch(frame + i * kBatch);
      k = 0;
      state.ResumeTiming();
    }
    SessionResult r = session.process(batches[k++], WaveformMode::incremental());
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_PyCore_SessionProcessBatch30)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
