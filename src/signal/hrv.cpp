// Heart-rate-variability metrics: interval extraction and artefact filter,
// then the six metric computations.
//
// SDNN  = sqrt(sum (x - mean)^2 / (n - 1))
// RMSSD = sqrt(sum (x_i - x_{i-1})^2 / (n - 1))
// pNN50 = #{|x_i - x_{i-1}| > 50 ms} / (n - 1) * 100
// SD1/SD2 over successive pairs: d = (x_i - x_{i-1}) / sqrt 2,
//   s = (x_{i-1} + x_i) / sqrt 2, SD = sqrt(mean(v^2) - mean(v)^2)
// LF/HF = power in [0.04, 0.15) Hz / power in [0.15, 0.4] Hz of the interval
//   series resampled at 4 Hz and detrended
// SI    = AMo / (2 Mo MxDMn) with 50 ms histogram bins (Baevsky)
#include "signal/hrv.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "signal/fft.hpp"
#include "signal/filters.hpp"
#include "signal/rate.hpp"
#include "types/numeric.hpp"

namespace orvane {

namespace {

constexpr float kMinBeatConfidence = 0.5f;
constexpr float kMinIntervalMs = 300.0f;
constexpr float kMaxIntervalMs = 2000.0f;
constexpr float kMaxJump = 0.25f;  // largest accepted change from the previous interval

constexpr float kSqrt2 = 1.4142135f;
constexpr float kNn50Ms = 50.0f;

constexpr float kResampleHz = 4.0f;
constexpr float kResampleStep = 0.25f;  // seconds
constexpr float kLfHfDetrendCutoffHz = 0.04f;
constexpr float kLfHfResolutionHz = 0.001f;
constexpr float kLfLowHz = 0.04f;
constexpr float kLfHighHz = 0.15f;  // exclusive for LF, inclusive start of HF
constexpr float kHfHighHz = 0.4f;

constexpr float kStressBinMs = 50.0f;
constexpr std::size_t kStressMinIntervals = 5;
constexpr float kFloatEpsilon = 1.1920929e-7f;

struct NamedMetric {
  std::string_view name;
  HrvMetric metric;
};
constexpr std::array<NamedMetric, 12> kMetricNames{{
    {"sdnn", HrvMetric::Sdnn},         {"hrv_sdnn", HrvMetric::Sdnn},
    {"rmssd", HrvMetric::Rmssd},       {"hrv_rmssd", HrvMetric::Rmssd},
    {"lfhf", HrvMetric::LfHf},         {"hrv_lfhf", HrvMetric::LfHf},
    {"si", HrvMetric::StressIndex},    {"stress_index", HrvMetric::StressIndex},
    {"pnn50", HrvMetric::Pnn50},       {"hrv_pnn50", HrvMetric::Pnn50},
    {"sd1sd2", HrvMetric::Sd1Sd2},     {"hrv_sd1sd2", HrvMetric::Sd1Sd2},
}};

bool plausible(float interval_ms) {
  return interval_ms >= kMinIntervalMs && interval_ms <= kMaxIntervalMs;
}

// Population spread sqrt(mean(v^2) - mean(v)^2). Rounding can push the
// radicand a hair below zero for (nearly) constant v; the spread is then 0,
// not NaN.
float spread(std::span<const float> v) {
  const float count = static_cast<float>(v.size());
  float sum = 0.0f;
  float squares = 0.0f;
  for (const float x : v) {
    sum += x;
    squares += x * x;
  }
  const float mean = sum / count;
  return std::sqrt(nan_max(squares / count - mean * mean, 0.0f));
}

float sdnn(std::span<const float> x) {
  const float n = static_cast<float>(x.size());
  const float mean = ordered_sum(x) / n;
  float squares = 0.0f;
  for (const float v : x) squares += (v - mean) * (v - mean);
  return std::sqrt(squares / (n - 1.0f));
}

float rmssd(std::span<const float> x) {
  float squares = 0.0f;
  for (std::size_t i = 1; i < x.size(); ++i) squares += (x[i] - x[i - 1]) * (x[i] - x[i - 1]);
  return std::sqrt(squares / static_cast<float>(x.size() - 1));
}

float pnn50(std::span<const float> x) {
  std::size_t count = 0;
  for (std::size_t i = 1; i < x.size(); ++i) {
    if (std::fabs(x[i] - x[i - 1]) > kNn50Ms) ++count;
  }
  return static_cast<float>(count) / static_cast<float>(x.size() - 1) * 100.0f;
}

float sd1_sd2(std::span<const float> x) {
  if (x.size() < 3) return 0.0f;
  std::vector<float> d, s;
  d.reserve(x.size() - 1);
  s.reserve(x.size() - 1);
  for (std::size_t i = 1; i < x.size(); ++i) {
    d.push_back((x[i] - x[i - 1]) / kSqrt2);
    s.push_back((x[i - 1] + x[i]) / kSqrt2);
  }
  const float sd2 = spread(s);
  if (!(sd2 > 1e-6f)) return 0.0f;
  return spread(d) / sd2;
}

// The interval series sampled every 0.25 s from 0 up to the last beat, by
// linear interpolation between beat times (the first segment extended back
// to time 0).
std::vector<float> resample_intervals(std::span<const float> x) {
  std::vector<float> times(x.size());
  float elapsed_ms = 0.0f;
  for (std::size_t i = 0; i < x.size(); ++i) {
    elapsed_ms += x[i];
    times[i] = elapsed_ms / 1000.0f;
  }
  std::vector<float> series;
  if (x.size() < 2) return series;
  const std::uint64_t count = to_u64(std::floor(kResampleHz * times.back()));
  series.reserve(count);
  const std::size_t last_segment = x.size() - 2;
  std::size_t k = 0;
  for (std::uint64_t j = 0; j < count; ++j) {
    const float g = kResampleStep * static_cast<float>(j);
    while (k < last_segment && g > times[k + 1]) ++k;
    series.push_back(x[k] + (g - times[k]) * (x[k + 1] - x[k]) / (times[k + 1] - times[k]));
  }
  return series;
}

std::pair<float, float> from_intervals(const NnIntervals& nn, HrvMetric metric,
                                       float confidence) {
  if (nn.intervals_ms.empty()) return {0.0f, 0.0f};
  return {hrv_metric_value(metric, nn.intervals_ms), confidence};
}

}  // namespace

std::optional<HrvMetric> parse_hrv_metric(std::string_view name) {
  // Full Unicode lower-casing maps only 'A'-'Z' and U+212A KELVIN SIGN onto
  // ASCII letters, and no accepted name contains 'k'. Lower-casing the ASCII
  // bytes and matching exactly therefore accepts and refuses the same names;
  // any other non-ASCII byte can never be part of a match.
  for (const NamedMetric& entry : kMetricNames) {
    if (entry.name.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i) {
      char c = name[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      same = c == entry.name[i];
    }
    if (same) return entry.metric;
  }
  return std::nullopt;
}

NnIntervals nn_intervals(std::span<const PeakSequence> sequences,
                         std::span<const double> timestamps, std::span<const float> confidence,
                         float fs) {
  auto confidence_at = [&](std::uint64_t index) {
    return index < confidence.size() ? confidence[index] : 1.0f;
  };

  // Raw intervals between confident neighbours, with their end points'
  // confidences.
  std::vector<float> raw;
  float quality = 1.0f;
  for (const PeakSequence& sequence : sequences) {
    for (std::size_t k = 1; k < sequence.size(); ++k) {
      const Peak& p = sequence[k - 1];
      const Peak& q = sequence[k];
      const float cp = confidence_at(p.index);
      const float cq = confidence_at(q.index);
      if (!(cp >= kMinBeatConfidence && cq >= kMinBeatConfidence)) continue;
      const double elapsed = detection_time(q.position, timestamps, fs) -
                             detection_time(p.position, timestamps, fs);
      if (!(elapsed > 0.0)) continue;
      raw.push_back(static_cast<float>(elapsed * 1000.0));
      quality = nan_min(nan_min(quality, cp), cq);
    }
  }
  if (raw.empty()) return {};
  if (raw.size() == 1) return {std::move(raw), quality};

  // Artefact filter: the first plausible interval is compared with the
  // median of the plausible ones, every later one with the last accepted.
  std::vector<float> in_range;
  for (const float v : raw) {
    if (plausible(v)) in_range.push_back(v);
  }
  if (in_range.empty()) return {};
  std::sort(in_range.begin(), in_range.end());
  float reference = in_range[in_range.size() / 2];

  std::vector<float> accepted;
  for (const float v : raw) {
    if (plausible(v) && std::fabs(v - reference) <= kMaxJump * reference) {
      accepted.push_back(v);
      reference = v;
    }
  }
  if (accepted.empty()) return {};
  return {std::move(accepted), quality};
}

float lf_hf_ratio(std::span<const float> intervals_ms) {
  const std::vector<float> series = resample_intervals(intervals_ms);
  const std::vector<float> detrended = detrend(series, kResampleHz, kLfHfDetrendCutoffHz);
  SpectralWorkspace workspace;
  periodogram(detrended, kResampleHz, kLfHfResolutionHz, false, workspace);

  float lf = 0.0f;
  float hf = 0.0f;
  const std::span<const float> f = workspace.frequencies();
  const std::span<const float> p = workspace.powers();
  for (std::size_t k = 0; k < f.size(); ++k) {
    if (f[k] >= kLfLowHz && f[k] < kLfHighHz) lf += p[k];
    if (f[k] >= kLfHighHz && f[k] <= kHfHighHz) hf += p[k];
  }
  return hf > 0.0f ? lf / hf : 0.0f;
}

float stress_index(std::span<const float> x) {
  const std::size_t n = x.size();
  if (n < kStressMinIntervals) return 0.0f;
  float lowest = x[0];
  float highest = x[0];
  for (const float v : x) {
    lowest = nan_min(lowest, v);
    highest = nan_max(highest, v);
  }
  const float range_ms = highest - lowest;
  if (range_ms < kFloatEpsilon) return 0.0f;

  // Histogram of 50 ms bins anchored at 0, taken over the sorted bin numbers
  // so that its size follows the data, not the largest interval. The modal
  // bin is the fullest, the highest bin among equals.
  std::vector<std::uint64_t> bins;
  bins.reserve(n);
  for (const float v : x) {
    const float bin = std::floor(v / kStressBinMs);
    if (bin >= 0.0f) bins.push_back(to_u64(bin));  // no bin below 0 (nor for NaN)
  }
  if (bins.empty()) return 0.0f;
  std::sort(bins.begin(), bins.end());
  std::uint64_t mode = bins[0];
  std::size_t mode_count = 0;
  for (std::size_t start = 0; start < bins.size();) {
    std::size_t end = start;
    while (end < bins.size() && bins[end] == bins[start]) ++end;
    if (end - start >= mode_count) {
      mode_count = end - start;
      mode = bins[start];
    }
    start = end;
  }

  const float amo = static_cast<float>(mode_count) / static_cast<float>(n) * 100.0f;
  const float mo = (kStressBinMs * static_cast<float>(mode) + kStressBinMs / 2.0f) / 1000.0f;
  if (range_ms / 1000.0f <= 0.0f || mo <= 0.0f) return 0.0f;
  return amo / (2.0f * mo * range_ms / 1000.0f);
}

float hrv_metric_value(HrvMetric metric, std::span<const float> x) {
  if (x.empty()) return 0.0f;
  const bool single = x.size() == 1;
  switch (metric) {
    case HrvMetric::Sdnn: return single ? 0.0f : sdnn(x);
    case HrvMetric::Rmssd: return single ? 0.0f : rmssd(x);
    case HrvMetric::LfHf: return single ? 0.0f : lf_hf_ratio(x);
    case HrvMetric::StressIndex: return stress_index(x);
    case HrvMetric::Pnn50: return single ? 0.0f : pnn50(x);
    case HrvMetric::Sd1Sd2: return sd1_sd2(x);
  }
  fatal("unknown HRV metric", __FILE__, __LINE__);
}

NnIntervals pulse_intervals(std::span<const float> signal, std::span<const double> timestamps,
                            std::span<const float> confidence, float fs, float min_rate,
                            float max_rate, std::optional<float> rate_hint) {
  // Beats of a pulse waveform: the default threshold, window, drift and
  // tolerance, smoothed, with refined positions.
  const PeakOptions options{.rate_hint = rate_hint,
                            .fs = fs,
                            .min_rate = min_rate,
                            .max_rate = max_rate,
                            .refine = true,
                            .smooth = true};
  const std::vector<PeakSequence> sequences = find_peaks(signal, options);
  return nn_intervals(sequences, timestamps, confidence, fs);
}

std::pair<float, float> pulse_hrv_estimate(const NnIntervals& nn, HrvMetric metric,
                                           std::span<const float> confidence) {
  const float mean_confidence =
      ordered_mean(confidence);
  return from_intervals(nn, metric, nan_min(mean_confidence, nn.quality));
}

std::pair<float, float> estimate_hrv_metric(std::span<const float> signal, HrvMetric metric,
                                            std::span<const double> timestamps,
                                            std::span<const float> confidence, float fs,
                                            float min_rate, float max_rate,
                                            std::optional<float> rate_hint) {
  const NnIntervals nn =
      pulse_intervals(signal, timestamps, confidence, fs, min_rate, max_rate, rate_hint);
  return pulse_hrv_estimate(nn, metric, confidence);
}

std::pair<float, float> estimate_hrv_metric_from_detections(std::span<const PeakSequence> sequences,
                                                            HrvMetric metric,
                                                            std::span<const double> timestamps,
                                                            std::span<const float> confidence,
                                                            float fs) {
  const NnIntervals nn = nn_intervals(sequences, timestamps, confidence, fs);
  return from_intervals(nn, metric, nn.quality);
}

}  // namespace orvane
