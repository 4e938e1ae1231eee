// Rolling (per-frame) estimates from detections.
//
// For detection k of a sequence at time t_k (s), with the vital's first
// derivation giving H = min window, R = preferred window, I = update interval:
//   t_k - t_0 < H                        -> no value yet (NaN, 0)
//   t_k - last_update < I                -> hold the last estimate
//   otherwise                            -> estimate over the detections l..k,
//                                           l = first index with t_l >= t_k - R
// and the pair is painted on frames [f_k, f_{k+1}); the last detection holds
// for one more inter-detection span, 2 f_k - f_{k-1}, within total_frames.
#include "signal/rolling.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "registry/registry.hpp"
#include "signal/hrv.hpp"
#include "signal/rate.hpp"

namespace orvane {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

enum class RollingKind : std::uint8_t { RollingRate, RollingHrv };

// Registry timing of the vital's first derivation, in seconds.
struct Timing {
  double min_window;        // H
  double preferred_window;  // R
  double update_interval;   // I
};

struct Estimate {
  float value;
  float confidence;
};

// What differs between the two kinds; the engine below is shared.
struct KindSpec {
  RollingKind kind;
  HrvMetric metric;  // RollingHrv only
  std::string_view unknown_prefix;
  std::string_view no_derivations;
};

constexpr KindSpec kRateSpec{RollingKind::RollingRate, HrvMetric::Sdnn, "Unknown vital rate: ",
                             "No derivations found for vital"};
constexpr KindSpec kHrvSpec{RollingKind::RollingHrv, HrvMetric::Sdnn, "Unknown HRV metric: ",
                            "No derivations found for metric"};

RollingOutcome failure(RollingError error, std::string message) {
  RollingOutcome out;
  out.error = error;
  out.message = std::move(message);
  return out;
}

RollingOutcome too_large(std::uint64_t total_frames) {
  return failure(RollingError::TooLarge,
                 "total_frames " + std::to_string(total_frames) + " is too large to allocate");
}

std::size_t min_window_detections(RollingKind kind) {
  return kind == RollingKind::RollingRate ? 2 : 3;
}

// Runs the kind's estimator on one window and maps its result to the pair
// written on the frames. A rate of 0 means "no estimate"; an HRV value of 0
// is a real value when it comes with a confidence (e.g. pNN50 of a steady
// rhythm), and "no estimate" only when the confidence is 0 as well.
Estimate estimate_window(const KindSpec& spec, std::span<const PeakSequence> window,
                         std::span<const double> timestamps, std::span<const float> confidence,
                         float fs) {
  if (spec.kind == RollingKind::RollingRate) {
    const RateEstimate rate = estimate_rate_from_detections(window, timestamps, confidence, fs);
    return {rate.value > 0.0f ? rate.value : kNaN, rate.confidence};
  }
  const auto [value, conf] =
      estimate_hrv_metric_from_detections(window, spec.metric, timestamps, confidence, fs);
  if (value > 0.0f || (value == 0.0f && conf > 0.0f)) return {value, conf};
  return {kNaN, conf};
}

// First index l < k with times[l] >= threshold, or k when there is none.
// Ascending, NaN-free times allow a binary search; anything else is scanned.
std::size_t window_start(std::span<const double> times, std::size_t k, double threshold,
                         bool ascending) {
  if (ascending) {
    return static_cast<std::size_t>(
        std::lower_bound(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(k),
                         threshold) -
        times.begin());
  }
  for (std::size_t l = 0; l < k; ++l) {
    if (times[l] >= threshold) return l;
  }
  return k;
}

bool ascending_without_nan(std::span<const double> times) {
  for (std::size_t i = 0; i < times.size(); ++i) {
    if (std::isnan(times[i])) return false;
    if (i > 0 && times[i] < times[i - 1]) return false;
  }
  return true;
}

// End (exclusive) of the frames held by the last detection of a sequence:
// 2 f_k - f_prev evaluated exactly and clamped to [f_k, total]. Out-of-order
// detections (f_prev > f_k) give an empty hold instead of wrapping around.
std::uint64_t last_hold_end(std::uint64_t f_k, std::uint64_t f_prev, std::uint64_t total) {
  if (f_k >= total || f_prev > f_k) return f_k;
  const std::uint64_t span = f_k - f_prev;
  return span >= total - f_k ? total : f_k + span;
}

void paint(std::vector<float>& values, std::vector<float>& confidences, std::uint64_t from,
           std::uint64_t to, const Estimate& e) {
  const std::uint64_t end = std::min<std::uint64_t>(to, values.size());
  for (std::uint64_t f = from; f < end; ++f) {
    values[f] = e.value;
    confidences[f] = e.confidence;
  }
}

void run_sequence(const KindSpec& spec, const Timing& timing, const PeakSequence& peaks,
                  std::span<const double> timestamps, std::span<const float> confidence, float fs,
                  std::vector<double>& times, std::vector<Estimate>& picks,
                  std::vector<PeakSequence>& window, RollingOutcome& out) {
  const std::size_t count = peaks.size();
  times.clear();
  for (const Peak& p : peaks) times.push_back(detection_time(p.position, timestamps, fs));
  const bool ascending = ascending_without_nan(times);

  // Choose (v_k, c_k) for every detection.
  picks.assign(count, Estimate{kNaN, 0.0f});
  Estimate last{kNaN, 0.0f};
  double last_update = -1.0;  // negative: no estimate yet
  for (std::size_t k = 0; k < count; ++k) {
    const double t = times[k];
    if (t - times[0] < timing.min_window) continue;
    if (last_update >= 0.0 && t - last_update < timing.update_interval) {
      picks[k] = last;
      continue;
    }
    const std::size_t l = window_start(times, k, t - timing.preferred_window, ascending);
    if (k - l + 1 < min_window_detections(spec.kind)) continue;
    window[0].assign(peaks.begin() + static_cast<std::ptrdiff_t>(l),
                     peaks.begin() + static_cast<std::ptrdiff_t>(k) + 1);
    last = estimate_window(spec, window, timestamps, confidence, fs);
    last_update = t;
    picks[k] = last;
  }

  // Paint each pick up to the next detection's frame.
  const std::uint64_t total = out.values.size();
  for (std::size_t k = 0; k < count; ++k) {
    const std::uint64_t f = peaks[k].index;
    std::uint64_t end;
    if (k + 1 < count) {
      end = peaks[k + 1].index;
    } else if (count == 1) {
      end = total;
    } else {
      end = last_hold_end(f, peaks[k - 1].index, total);
    }
    paint(out.values, out.confidences, f, end, picks[k]);
  }
}

RollingOutcome run(const KindSpec& spec, std::string_view name,
                   std::span<const PeakSequence> sequences, float fs, std::uint64_t total_frames,
                   std::span<const double> timestamps, std::span<const float> confidence) {
  const std::optional<VitalDefinition> vital = lookup_vital(name);
  if (!vital) {
    return failure(RollingError::UnknownName, std::string(spec.unknown_prefix) + std::string(name));
  }
  if (vital->derivations.empty()) {
    return failure(RollingError::NoDerivations, std::string(spec.no_derivations));
  }
  KindSpec resolved = spec;
  if (spec.kind == RollingKind::RollingHrv) {
    const std::optional<HrvMetric> metric = parse_hrv_metric(name);
    if (!metric) return failure(RollingError::InvalidMetric, std::string(kInvalidHrvMetric));
    resolved.metric = *metric;
  }
  const Derivation& first = vital->derivations.front();
  const Timing timing{first.min_window_seconds, first.preferred_window_seconds,
                      first.update_interval_seconds};

  // Refuse sizes the host could not mean rather than end the process on an
  // allocation failure; the cap is checked first, the allocation still guarded.
  if (total_frames > kMaxRollingFrames) return too_large(total_frames);
  RollingOutcome out;
  try {
    out.values.assign(static_cast<std::size_t>(total_frames), kNaN);
    out.confidences.assign(static_cast<std::size_t>(total_frames), 0.0f);
  } catch (const std::bad_alloc&) {
    return too_large(total_frames);
  } catch (const std::length_error&) {
    return too_large(total_frames);
  }

  // Scratch reused across sequences and windows.
  std::vector<double> times;
  std::vector<Estimate> picks;
  std::vector<PeakSequence> window(1);
  for (const PeakSequence& peaks : sequences) {
    if (peaks.empty()) continue;
    run_sequence(resolved, timing, peaks, timestamps, confidence, fs, times, picks, window, out);
  }
  return out;
}

}  // namespace

RollingOutcome estimate_rolling_rate_from_detections(std::span<const PeakSequence> sequences,
                                                     float fs, std::string_view vital_name,
                                                     std::uint64_t total_frames,
                                                     std::span<const double> timestamps,
                                                     std::span<const float> confidence) {
  return run(kRateSpec, vital_name, sequences, fs, total_frames, timestamps, confidence);
}

RollingOutcome estimate_rolling_hrv_metric_from_detections(std::span<const PeakSequence> sequences,
                                                           float fs, std::string_view metric_name,
                                                           std::uint64_t total_frames,
                                                           std::span<const double> timestamps,
                                                           std::span<const float> confidence) {
  return run(kHrvSpec, metric_name, sequences, fs, total_frames, timestamps, confidence);
}

}  // namespace orvane
