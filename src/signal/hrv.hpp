// Heart-rate-variability metrics from beats.
//
// Inter-beat intervals (ms) between neighbouring beats of one sequence pass a
// confidence gate (both ends >= 0.5), a plausibility range [300, 2000] ms and
// a 25 % jump filter anchored on the median before any metric sees them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "signal/peaks.hpp"

namespace orvane {

enum class HrvMetric : std::uint8_t { Sdnn = 0, Rmssd = 1, LfHf = 2, StressIndex = 3, Pnn50 = 4, Sd1Sd2 = 5 };

inline constexpr std::string_view kInvalidHrvMetric = "Invalid HRV metric";

// Case-insensitive name lookup; nullopt means "Invalid HRV metric".
std::optional<HrvMetric> parse_hrv_metric(std::string_view name);

struct NnIntervals {
  std::vector<float> intervals_ms;  // accepted intervals, beat order
  float quality = 0;                // 0..1
};

// Empty timestamps (s) or confidence mean "not given"; fs in Hz.
NnIntervals nn_intervals(std::span<const PeakSequence> sequences,
                         std::span<const double> timestamps, std::span<const float> confidence,
                         float fs);

// The metric of accepted intervals (ms); 0 when there are too few. The
// intervals are those of nn_intervals: LF/HF resamples them at 4 Hz, so its
// work grows with their total duration.
float hrv_metric_value(HrvMetric metric, std::span<const float> intervals_ms);
float lf_hf_ratio(std::span<const float> intervals_ms);
float stress_index(std::span<const float> intervals_ms);

// (value, confidence); (0, 0) means no estimate. Rates per minute, fs in Hz.
std::pair<float, float> estimate_hrv_metric(std::span<const float> signal, HrvMetric metric,
                                            std::span<const double> timestamps,
                                            std::span<const float> confidence, float fs,
                                            float min_rate, float max_rate,
                                            std::optional<float> rate_hint);

// The two halves of estimate_hrv_metric, for callers that compute several
// metrics of one window and so detect its beats once: the accepted intervals
// of the pulse waveform's beats, and a metric of them with the confidence
// rule (the smaller of the mean of `confidence` and the intervals' quality).
NnIntervals pulse_intervals(std::span<const float> signal, std::span<const double> timestamps,
                            std::span<const float> confidence, float fs, float min_rate,
                            float max_rate, std::optional<float> rate_hint);
std::pair<float, float> pulse_hrv_estimate(const NnIntervals& nn, HrvMetric metric,
                                           std::span<const float> confidence);

std::pair<float, float> estimate_hrv_metric_from_detections(std::span<const PeakSequence> sequences,
                                                            HrvMetric metric,
                                                            std::span<const double> timestamps,
                                                            std::span<const float> confidence,
                                                            float fs);

}  // namespace orvane
