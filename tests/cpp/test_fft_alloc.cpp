// A reused spectral workspace makes repeated spectral estimates free of heap
// allocation once it has seen the transform length. Counted by replacing the
// global allocation functions of this test executable.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "signal/fft.hpp"

namespace {
std::atomic<long> g_allocations{0};

void* counted_alloc(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return counted_alloc(size); }
void* operator new[](std::size_t size) { return counted_alloc(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

using namespace orvane;

namespace {

std::vector<float> sine(std::size_t n, float hz) {
  std::vector<float> x(n);
  for (std::size_t j = 0; j < n; ++j) {
    x[j] = static_cast<float>(std::sin(2.0 * M_PI * hz * static_cast<double>(j) / 30.0));
  }
  return x;
}

long allocations_during(const std::vector<float>& x, SpectralWorkspace* ws, int calls) {
  const RateMethod method = RateMethod::periodogram(0.005f);
  const long before = g_allocations.load();
  float sink = 0;
  for (int i = 0; i < calls; ++i) {
    sink += estimate_rate(x, 30, method, 40, 220, std::nullopt, ws).value;
  }
  const long after = g_allocations.load();
  EXPECT_GT(sink, 0.0f);  // the estimates were real
  return after - before;
}

}  // namespace

TEST(SpectralWorkspaceAllocation, ReusedWorkspaceAllocatesOnlyOnFirstUse) {
  const std::vector<float> ten_seconds = sine(300, 1.2f);    // 8192-point transform
  const std::vector<float> five_minutes = sine(9000, 1.2f);  // 16384-point transform

  // Without a workspace every call builds one: the counter does see that.
  EXPECT_GT(allocations_during(ten_seconds, nullptr, 1), 0);

  SpectralWorkspace ws;
  EXPECT_GT(allocations_during(ten_seconds, &ws, 1), 0);
  EXPECT_EQ(allocations_during(ten_seconds, &ws, 20), 0);

  // A longer transform grows the workspace once; after that both lengths
  // are served from the cached plans and the kept capacity.
  EXPECT_GT(allocations_during(five_minutes, &ws, 1), 0);
  EXPECT_EQ(allocations_during(five_minutes, &ws, 5), 0);
  EXPECT_EQ(allocations_during(ten_seconds, &ws, 5), 0);
}
