// Planner cost per frame for a host tracking N buffers: one evaluate_target
// per detected subject and one poll per frame.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "state/frames.hpp"

namespace {

using namespace orvane;

constexpr BufferConfig kConfig{16, 4, 150, 900, 3};

// N buffers side by side; every fourth one stale, creation times increasing.
std::vector<BufferMetadata> make_buffers(std::size_t n) {
  std::vector<BufferMetadata> buffers;
  buffers.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i);
    buffers.push_back(BufferMetadata{"buffer-" + std::to_string(i),
                                     Rect{static_cast<float>(i) * 20.0f, 0, 100, 100},
                                     static_cast<std::uint32_t>(i % 40), t,
                                     i % 4 == 0 ? t - 100.0 : t});
  }
  return buffers;
}

void BM_EvaluateTarget(benchmark::State& state) {
  const BufferPlanner planner(kConfig);
  const auto buffers = make_buffers(static_cast<std::size_t>(state.range(0)));
  const Rect target{static_cast<float>(state.range(0)) * 10.0f, 0, 100, 100};
  for (auto _ : state) {
    benchmark::DoNotOptimize(planner.evaluate_target(target, static_cast<double>(state.range(0)),
                                                     buffers));
  }
}
BENCHMARK(BM_EvaluateTarget)->Arg(4)->Arg(32)->Arg(256);

void BM_Poll(benchmark::State& state) {
  const BufferPlanner planner(kConfig);
  const auto buffers = make_buffers(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(planner.poll(buffers, static_cast<double>(state.range(0)),
                                          InferenceMode::Stream, true, false));
  }
}
BENCHMARK(BM_Poll)->Arg(4)->Arg(32)->Arg(256);

}  // namespace

BENCHMARK_MAIN();
