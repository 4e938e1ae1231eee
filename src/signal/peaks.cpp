// Adaptive-threshold peak detection. Steps run in the order the detector
// applies them: pre-smoothing, rolling statistics, distance rules, candidate
// scan with peak search, refinement and merging, then sequence splitting.
#include "signal/peaks.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "signal/filters.hpp"
#include "types/numeric.hpp"

namespace orvane {

namespace {

constexpr float kMinRollingStd = 1e-6f;
constexpr float kMinParabolaCurvature = 1e-6f;
constexpr float kMaxGapCycles = 2.5f;  // a gap this many slowest cycles splits a sequence

struct RollingStats {
  std::vector<float> mean;
  std::vector<float> std;
};

float window_sum_direct(std::span<const float> x, std::size_t lo, std::size_t hi, bool squared) {
  float sum = 0.0f;
  for (std::size_t k = lo; k <= hi; ++k) sum += squared ? x[k] * x[k] : x[k];
  return sum;
}

// Mean and standard deviation of x over [l - h, l + h] clipped to the signal,
// by running sums. A non-finite sample poisons a running sum for good
// (NaN - NaN, inf - inf), so when one leaves the window the sums are taken
// afresh: its effect stays confined to the windows that contain it.
RollingStats rolling_stats(std::span<const float> x, std::size_t h) {
  const std::size_t n = x.size();
  RollingStats out{std::vector<float>(n), std::vector<float>(n)};
  std::size_t lo = 0;
  std::size_t hi = std::min(n - 1, h);
  float sum = window_sum_direct(x, lo, hi, false);
  float sum_sq = window_sum_direct(x, lo, hi, true);
  for (std::size_t l = 0; l < n; ++l) {
    if (l > 0) {
      const std::size_t new_lo = l > h ? l - h : 0;
      const std::size_t new_hi = std::min(n - 1, l + h);
      if (new_hi != hi) {
        sum += x[new_hi];
        sum_sq += x[new_hi] * x[new_hi];
      }
      if (new_lo != lo) {
        if (std::isfinite(x[lo])) {
          sum -= x[lo];
          sum_sq -= x[lo] * x[lo];
        } else {
          sum = window_sum_direct(x, new_lo, new_hi, false);
          sum_sq = window_sum_direct(x, new_lo, new_hi, true);
        }
      }
      lo = new_lo;
      hi = new_hi;
    }
    const float k = static_cast<float>(hi - lo + 1);
    const float mean = sum / k;
    out.mean[l] = mean;
    out.std[l] = std::sqrt(nan_max(sum_sq / k - mean * mean, 0.0f));
  }
  return out;
}

struct Distances {
  std::uint64_t min_dist;  // samples
  std::uint64_t max_gap;   // samples
};

Distances peak_distances(std::size_t n, const PeakOptions& o) {
  float r_max = o.max_rate;
  if (o.rate_hint) {
    const float drift = static_cast<float>(n) / o.fs * 0.5f * o.max_rate_change;
    r_max = nan_min(*o.rate_hint + drift, o.max_rate);
  }
  return {to_u64(std::ceil(60.0f / r_max * (1.0f - o.distance_tolerance) * o.fs)),
          to_u64(60.0f / o.min_rate * kMaxGapCycles * o.fs)};
}

// Index of the largest raw sample within `radius` of m, m winning ties and
// otherwise the leftmost maximum.
std::size_t peak_index_near(std::span<const float> raw, std::size_t m, std::uint64_t radius) {
  if (radius == 0) return m;
  const std::size_t n = raw.size();
  const std::size_t lo = m - std::min<std::uint64_t>(radius, m);
  const std::size_t hi = radius >= n - m ? n : m + radius + 1;  // exclusive
  std::size_t best = m;
  for (std::size_t k = lo; k < hi; ++k) {
    if (raw[k] > raw[best]) best = k;
  }
  return best;
}

std::vector<PeakSequence> split_at_gaps(const std::vector<Peak>& peaks, std::uint64_t max_gap) {
  std::vector<PeakSequence> sequences;
  const float gap = static_cast<float>(max_gap);
  for (std::size_t i = 0; i < peaks.size(); ++i) {
    if (i == 0 || peaks[i].position - peaks[i - 1].position > gap) sequences.emplace_back();
    sequences.back().push_back(peaks[i]);
  }
  return sequences;
}

}  // namespace

float parabolic_position(std::span<const float> y, std::size_t index) {
  const float position = static_cast<float>(index);
  if (index == 0 || index + 1 >= y.size()) return position;
  const float u = y[index - 1];
  const float v = y[index];
  const float w = y[index + 1];
  const float q = 2.0f * (u - 2.0f * v + w);
  if (std::fabs(q) > kMinParabolaCurvature && std::fabs((u - w) / q) <= 0.5f) {
    return position + (u - w) / q;
  }
  return position;
}

std::vector<PeakSequence> find_peaks(std::span<const float> raw, const PeakOptions& o) {
  const std::size_t n = raw.size();
  if (n < 3) return {};

  std::vector<float> smoothed;
  std::span<const float> x = raw;
  std::uint64_t radius = 0;
  if (o.smooth) {
    const std::uint64_t w = moving_average_window_for_cutoff(o.fs, o.max_rate / 60.0f, true);
    smoothed = moving_average(raw, w);
    x = smoothed;
    radius = w / 2;
  }

  const float r = o.rate_hint ? *o.rate_hint : o.min_rate;
  const std::uint64_t half =
      std::max<std::uint64_t>(to_u64(round_half_away(60.0f / r * o.window_cycles * o.fs * 0.5f)), 2);
  const RollingStats stats = rolling_stats(x, std::min<std::uint64_t>(half, n / 2));
  const Distances dist = peak_distances(n, o);

  std::vector<Peak> peaks;
  std::size_t last_m = 0;
  for (std::size_t m = 1; m + 1 < n; ++m) {
    const float sd = stats.std[m];
    const bool candidate = sd > kMinRollingStd && x[m] - stats.mean[m] > sd * o.detection_threshold &&
                           x[m] > x[m - 1] && x[m] >= x[m + 1];
    if (!candidate) continue;

    const std::size_t d = peak_index_near(raw, m, radius);
    const Peak peak{d, o.refine ? parabolic_position(raw, d) : static_cast<float>(d), raw[d]};

    if (!peaks.empty() && m - last_m < dist.min_dist) {
      // Too close to the last peak: the candidate takes its place only when
      // it is higher and the last peak is not above both of the candidate's
      // raw neighbours.
      Peak& last = peaks.back();
      if (last.amplitude < peak.amplitude &&
          (last.amplitude < raw[m + 1] || last.amplitude < raw[m - 1])) {
        last = peak;
        last_m = m;
      }
    } else {
      peaks.push_back(peak);
      last_m = m;
    }
  }
  return split_at_gaps(peaks, dist.max_gap);
}

std::pair<float, float> mean_peak_value(std::span<const float> signal,
                                        std::span<const float> confidence, bool invert, float fs) {
  std::vector<float> negated;
  std::span<const float> searched = signal;
  if (invert) {
    negated.reserve(signal.size());
    for (const float v : signal) negated.push_back(-v);
    searched = negated;
  }
  // No hint, the default rate range, window, drift and tolerance; a strict
  // threshold, refined positions, no smoothing.
  const PeakOptions options{
      .rate_hint = std::nullopt, .fs = fs, .detection_threshold = 1.0f, .refine = true, .smooth = false};

  std::size_t count = 0;
  float amplitude_sum = 0.0f;
  float confidence_sum = 0.0f;
  for (const PeakSequence& sequence : find_peaks(searched, options)) {
    for (const Peak& p : sequence) {
      ++count;
      amplitude_sum += invert ? -p.amplitude : p.amplitude;
      if (p.index < confidence.size()) confidence_sum += confidence[p.index];
    }
  }
  if (count == 0) return {0.0f, 0.0f};
  const float c = static_cast<float>(count);
  return {amplitude_sum / c, confidence_sum / c};
}

}  // namespace orvane
