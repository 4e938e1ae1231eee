// Inspiration-to-expiration ratio of a respiratory waveform.
//
// Peaks of the waveform are the ends of inspiration; the deepest sample
// between two peaks is the end of expiration. For every breath whose peak has
// a trough on both sides,
//   inspiration = (peak - trough before) / fs,  expiration = (trough after - peak) / fs
// in seconds, and the ratio is mean(inspiration) / mean(expiration). Troughs
// before the first and after the last peak are searched within 0.6 expected
// breath periods of that peak.
#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "signal/peaks.hpp"
#include "state/session_detail.hpp"
#include "types/numeric.hpp"

namespace orvane::session_detail {

namespace {

constexpr float kDetectionThreshold = 1.2f;  // rolling standard deviations
constexpr float kWindowCycles = 1.5f;        // expected breaths per rolling window
constexpr float kMaxRateChange = 0.25f;      // breaths per minute per second
constexpr float kDistanceTolerance = 0.25f;
constexpr float kSearchFraction = 0.6f;      // of the expected breath period
constexpr float kMinExpirationSeconds = 1e-5f;

// Expected breath period in samples for one sequence of detected breaths.
std::uint64_t expected_period(const PeakSequence& peaks, float fs, float min_rate,
                              std::optional<float> rate_hint) {
  if (rate_hint) {
    if (*rate_hint > 1e-5f) return to_u64(round_half_away(60.0f * fs / *rate_hint));
    return to_u64(60.0f * fs / min_rate);
  }
  if (peaks.size() == 1) return to_u64((60.0f / min_rate) * fs);
  float sum = 0;
  for (std::size_t k = 1; k < peaks.size(); ++k) sum += peaks[k].position - peaks[k - 1].position;
  return to_u64(round_half_away(sum / static_cast<float>(peaks.size() - 1)));
}

// First index of the smallest value of y[lo, hi); lo < hi <= len(y).
std::size_t first_minimum(std::span<const float> y, std::size_t lo, std::size_t hi) {
  std::size_t best = lo;
  for (std::size_t j = lo + 1; j < hi; ++j) {
    if (y[j] < y[best]) best = j;
  }
  return best;
}

}  // namespace

std::pair<float, float> ie_ratio(std::span<const float> y, std::span<const float> confidence,
                                 float fs, std::optional<float> rate_hint) {
  const std::size_t n = y.size();
  if (n <= 2) return {0.0f, 0.0f};
  static const RateBand band = first_derivation_band("respiratory_rate", {3.0f, 60.0f});

  // Breaths are smoothed, refined peaks that stand 1.2 rolling deviations out
  // over a window of 1.5 expected breaths.
  const PeakOptions options{.rate_hint = rate_hint,
                            .fs = fs,
                            .min_rate = band.min_rate,
                            .max_rate = band.max_rate,
                            .detection_threshold = kDetectionThreshold,
                            .window_cycles = kWindowCycles,
                            .max_rate_change = kMaxRateChange,
                            .distance_tolerance = kDistanceTolerance,
                            .refine = true,
                            .smooth = true};
  const std::vector<PeakSequence> sequences = find_peaks(y, options);

  std::size_t breaths = 0;
  float inspiration_sum = 0;
  float expiration_sum = 0;
  float confidence_sum = 0;
  std::vector<std::optional<float>> troughs;  // positions; entry k before peak k, k + 1 after

  for (const PeakSequence& peaks : sequences) {
    if (peaks.empty()) continue;
    const std::size_t m = peaks.size();
    const std::uint64_t period = expected_period(peaks, fs, band.min_rate, rate_hint);
    const std::uint64_t radius = to_u64(kSearchFraction * static_cast<float>(period));

    troughs.assign(m + 1, std::nullopt);

    // Before the first peak: the deepest of the `radius` samples before it.
    // A zero radius leaves the trough on the peak itself.
    const std::uint64_t first = peaks.front().index;
    if (first >= radius) {
      const std::size_t t = radius == 0 ? static_cast<std::size_t>(first)
                                        : first_minimum(y, first - radius, first);
      troughs[0] = parabolic_position(y, t);
    }

    // Between neighbouring peaks: the deepest sample strictly between them.
    for (std::size_t k = 0; k + 1 < m; ++k) {
      const auto lo = static_cast<std::size_t>(std::min<std::uint64_t>(n, peaks[k].index + 1));
      const auto hi = static_cast<std::size_t>(std::min<std::uint64_t>(n, peaks[k + 1].index));
      troughs[k + 1] = lo < hi ? parabolic_position(y, first_minimum(y, lo, hi))
                               : static_cast<float>(lo);
    }

    // After the last peak: the deepest of the radius - 1 samples after it. A
    // zero radius searches nothing, so the last peak then has no trailing
    // trough and is not counted as a breath.
    const std::uint64_t last = peaks.back().index;
    if (radius >= 1 && last < n && radius < n - last) {
      const std::size_t begin = static_cast<std::size_t>(last + 1);
      const std::size_t t =
          radius == 1 ? begin : first_minimum(y, begin, static_cast<std::size_t>(last + radius));
      troughs[m] = parabolic_position(y, t);
    }

    for (std::size_t k = 0; k < m; ++k) {
      const std::optional<float>& before = troughs[k];
      const std::optional<float>& after = troughs[k + 1];
      const float peak = peaks[k].position;
      if (!before || !after || !(*before < peak && peak < *after)) continue;
      const float inspiration = (peak - *before) / fs;
      const float expiration = (*after - peak) / fs;
      if (!(inspiration > 0.0f && expiration > 0.0f)) continue;
      ++breaths;
      inspiration_sum += inspiration;
      expiration_sum += expiration;
      if (peaks[k].index < confidence.size()) confidence_sum += confidence[peaks[k].index];
    }
  }

  if (breaths == 0) return {0.0f, 0.0f};
  const auto count = static_cast<float>(breaths);
  const float mean_expiration = expiration_sum / count;
  if (!(mean_expiration > kMinExpirationSeconds)) return {0.0f, 0.0f};
  return {(inspiration_sum / count) / mean_expiration, confidence_sum / count};
}

}  // namespace orvane::session_detail
