// Signal-processing costs at the sizes the session and the Python functions
// see: the heart-rate spectrum of a 10 s window, peak detection over a
// minute, each HRV metric over two minutes, and detrending at three sizes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "signal/fft.hpp"
#include "signal/filters.hpp"
#include "signal/hrv.hpp"
#include "signal/peaks.hpp"

using namespace orvane;

namespace {

constexpr float kFs = 30.0f;

// A pulse-like waveform: about 72 per minute with a slow 0.1 Hz and a
// respiratory 0.25 Hz rate modulation, a little harmonic content and noise.
std::vector<float> pulse(float seconds) {
  const std::size_t n = static_cast<std::size_t>(seconds * kFs);
  std::mt19937 rng(1234);
  std::normal_distribution<float> noise(0.0f, 0.05f);
  std::vector<float> x(n);
  double phase = 0;
  for (std::size_t j = 0; j < n; ++j) {
    const double t = static_cast<double>(j) / kFs;
    const double hz = 1.2 + 0.05 * std::sin(2 * M_PI * 0.1 * t) + 0.04 * std::sin(2 * M_PI * 0.25 * t);
    phase += 2 * M_PI * hz / kFs;
    x[j] = static_cast<float>(std::sin(phase) + 0.3 * std::sin(2 * phase + 0.5)) + noise(rng);
  }
  return x;
}

void BM_EstimateRateHeartPeriodogram(benchmark::State& state) {
  const std::vector<float> x = pulse(10);
  const RateMethod method = RateMethod::periodogram(0.005f);
  SpectralWorkspace workspace;
  for (auto _ : state) {
    const RateEstimate r = estimate_rate(x, kFs, method, 40, 220, std::nullopt, &workspace);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_EstimateRateHeartPeriodogram)->Unit(benchmark::kMicrosecond);

void BM_FindPeaksPythonDefaults(benchmark::State& state) {
  const std::vector<float> x = pulse(60);
  PeakOptions options;
  options.fs = kFs;
  options.refine = true;
  options.smooth = true;
  std::size_t peaks = 0;
  for (auto _ : state) {
    const std::vector<PeakSequence> found = find_peaks(x, options);
    peaks = 0;
    for (const PeakSequence& s : found) peaks += s.size();
    benchmark::DoNotOptimize(found.data());
  }
  state.counters["peaks"] = static_cast<double>(peaks);
}
BENCHMARK(BM_FindPeaksPythonDefaults)->Unit(benchmark::kMicrosecond);

void BM_EstimateHrvMetric(benchmark::State& state) {
  const HrvMetric metric = static_cast<HrvMetric>(state.range(0));
  const std::vector<float> x = pulse(120);
  const std::vector<float> confidence(x.size(), 0.9f);
  std::pair<float, float> result;
  for (auto _ : state) {
    result = estimate_hrv_metric(x, metric, {}, confidence, kFs, 40, 220, std::nullopt);
    benchmark::DoNotOptimize(result);
  }
  state.counters["value"] = result.first;
}
BENCHMARK(BM_EstimateHrvMetric)
    ->ArgName("metric")
    ->DenseRange(0, 5)
    ->Unit(benchmark::kMicrosecond);

void BM_Detrend(benchmark::State& state) {
  const std::size_t n = static_cast<std::size_t>(state.range(0));
  std::mt19937 rng(99);
  std::normal_distribution<float> noise(0.0f, 1.0f);
  std::vector<float> x(n);
  for (float& v : x) v = noise(rng);
  for (auto _ : state) {
    const std::vector<float> out = detrend(x, 4, 0.04f);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(n));
  state.SetComplexityN(static_cast<std::int64_t>(n));
}
BENCHMARK(BM_Detrend)->Arg(1000)->Arg(10000)->Arg(100000)->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
