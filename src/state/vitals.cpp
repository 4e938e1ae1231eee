// Current vital estimates of one call and their assembly into the result.
//
// Each vital walks its derivations in catalogue order. A derivation runs when
// every input signal is held with at least min_window_seconds * fps_target
// samples; it reads the newest preferred_window_seconds * fps_target samples
// (the whole history under Global) and is accepted when its value lies in
// [min_value, max_value]. Later derivations are then not tried.
#include <algorithm>
#include <bit>
#include <cmath>

#include "signal/fft.hpp"
#include "signal/hrv.hpp"
#include "signal/peaks.hpp"
#include "state/session_detail.hpp"
#include "types/numeric.hpp"

namespace orvane::session_detail {

namespace {

constexpr std::string_view kLatestVitalNote =
    "Latest estimate of {} with confidence score using {}.";
constexpr std::string_view kGlobalVitalNote =
    "Global estimate of {} with confidence score using {}.";

std::optional<float> estimate_of(const Estimates& estimates, std::string_view id) {
  const auto it = estimates.find(id);
  if (it == estimates.end()) return std::nullopt;
  return it->second.first;
}

// Mean over the first min(len) samples of a two-input pressure derivation.
template <typename Term>
std::pair<float, float> paired_mean(const VitalWindow& window, Term term) {
  if (window.values.size() < 2) return {0.0f, 0.0f};
  const std::span<const float> a = window.values[0];
  const std::span<const float> b = window.values[1];
  const std::size_t m = std::min(a.size(), b.size());
  if (m == 0) return {0.0f, 0.0f};
  float sum = 0;
  for (std::size_t i = 0; i < m; ++i) sum += term(a[i], b[i]);
  return {sum / static_cast<float>(m), 1.0f};
}

}  // namespace

const std::vector<float>* CallCache::values(std::string_view name) {
  if (auto it = values_.find(name); it != values_.end()) return &it->second;
  const auto stored = core_.signal_series.find(std::string(name));
  if (stored == core_.signal_series.end()) return nullptr;
  return &values_.emplace(std::string(name), stored->second.averaged()).first->second;
}

const std::vector<float>* CallCache::confidences(std::string_view name) {
  if (auto it = confidences_.find(name); it != confidences_.end()) return &it->second;
  const auto stored = core_.confidence_series.find(std::string(name));
  if (stored == core_.confidence_series.end()) return nullptr;
  return &confidences_.emplace(std::string(name), stored->second.averaged()).first->second;
}

RateBand first_derivation_band(std::string_view id, RateBand fallback) {
  const std::optional<VitalDefinition> entry = lookup_vital(id);
  if (!entry || entry->derivations.empty()) return fallback;
  return {entry->derivations.front().min_value, entry->derivations.front().max_value};
}

std::pair<float, float> CallCache::mean_peak_value(std::span<const float> x,
                                                   std::span<const float> confidence, bool invert,
                                                   float fs) {
  const WindowKey key{x.data(), x.size(), confidence.data(), confidence.size(), invert,
                      std::bit_cast<std::uint32_t>(fs)};
  if (auto it = peak_summaries_.find(key); it != peak_summaries_.end()) return it->second;
  const std::pair<float, float> summary = orvane::mean_peak_value(x, confidence, invert, fs);
  peak_summaries_.emplace(key, summary);
  return summary;
}

const NnIntervals& CallCache::pulse_intervals(std::span<const float> x,
                                              std::span<const double> timestamps,
                                              std::span<const float> confidence, float fs,
                                              float min_rate, float max_rate,
                                              std::optional<float> rate_hint) {
  std::optional<std::uint32_t> hint_bits;
  if (rate_hint) hint_bits = std::bit_cast<std::uint32_t>(*rate_hint);
  const PulseKey key{x.data(),
                     x.size(),
                     timestamps.data(),
                     timestamps.size(),
                     confidence.data(),
                     confidence.size(),
                     std::bit_cast<std::uint32_t>(fs),
                     std::bit_cast<std::uint32_t>(min_rate),
                     std::bit_cast<std::uint32_t>(max_rate),
                     hint_bits};
  if (auto it = pulse_intervals_.find(key); it != pulse_intervals_.end()) return it->second;
  return pulse_intervals_
      .emplace(key, orvane::pulse_intervals(x, timestamps, confidence, fs, min_rate, max_rate,
                                            rate_hint))
      .first->second;
}

float frame_rate(std::span<const double> timestamps, float fallback) {
  if (timestamps.size() < 2) return fallback;
  const auto span = static_cast<float>(timestamps.back() - timestamps.front());
  if (!(span > 0.0f)) return fallback;
  return static_cast<float>(timestamps.size() - 1) / span;
}

std::string fill(std::string_view text, std::initializer_list<std::string_view> args) {
  std::string out;
  auto arg = args.begin();
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t mark = text.find("{}", pos);
    if (mark == std::string_view::npos || arg == args.end()) break;
    out.append(text.substr(pos, mark - pos));
    out.append(*arg++);
    pos = mark + 2;
  }
  out.append(text.substr(std::min(pos, text.size())));
  return out;
}

std::pair<float, float> estimate_vital(const Derivation& derivation, const VitalWindow& window,
                                       const Estimates& estimates, SpectralWorkspace& workspace,
                                       CallCache& cache) {
  const std::span<const float> x0 =
      window.values.empty() ? std::span<const float>{} : window.values.front();
  using Kind = DerivationMethod::Kind;
  switch (derivation.method.kind) {
    case Kind::Rate: {
      const RateEstimate rate =
          estimate_rate(x0, window.fs, derivation.method.rate, derivation.min_value,
                        derivation.max_value, estimate_of(estimates, "heart_rate"), &workspace);
      return {rate.value, window.mean_confidence};
    }
    case Kind::Hrv: {
      // Beats are searched in heart_rate's plausible band.
      static const RateBand band = first_derivation_band("heart_rate", {40.0f, 220.0f});
      const NnIntervals& beats =
          cache.pulse_intervals(x0, window.timestamps, window.confidence, window.fs,
                                band.min_rate, band.max_rate, estimate_of(estimates, "heart_rate"));
      return pulse_hrv_estimate(beats, derivation.method.hrv, window.confidence);
    }
    case Kind::Mean:
      return {ordered_mean(x0), window.mean_confidence};
    case Kind::WaveformSystolic:
      return cache.mean_peak_value(x0, window.confidence, /*invert=*/false, window.fs);
    case Kind::WaveformDiastolic:
      return cache.mean_peak_value(x0, window.confidence, /*invert=*/true, window.fs);
    case Kind::WaveformPulsePressure: {
      const auto systolic = cache.mean_peak_value(x0, window.confidence, false, window.fs);
      const auto diastolic = cache.mean_peak_value(x0, window.confidence, true, window.fs);
      if (!(systolic.first > 0.0f && diastolic.first > 0.0f)) return {0.0f, 0.0f};
      return {systolic.first - diastolic.first, (systolic.second + diastolic.second) * 0.5f};
    }
    case Kind::PulsePressureFromPressures:
      return paired_mean(window, [](float sys, float dia) { return sys - dia; });
    case Kind::MeanArterialFromPressures:
      return paired_mean(window, [](float sys, float dia) { return (2.0f * dia + sys) / 3.0f; });
    case Kind::IeRatio:
      return ie_ratio(x0, window.confidence, window.fs, estimate_of(estimates, "respiratory_rate"));
  }
  return {0.0f, 0.0f};
}

Estimates estimate_vitals(const SessionCore& core, CallCache& cache, bool global,
                          SpectralWorkspace& workspace) {
  Estimates estimates;
  const float fps = core.config.fps_target;
  const std::span<const double> all_timestamps = core.timestamps;
  std::vector<float> unit_confidence;  // stands in for a missing confidence series

  for (const std::string& id : core.vital_ids) {
    const auto definition = core.definitions.find(id);
    if (definition == core.definitions.end()) continue;
    for (const Derivation& derivation : definition->second.derivations) {
      if (derivation.inputs.empty()) continue;
      std::vector<const std::vector<float>*> inputs;
      for (const std::string& name : derivation.inputs) {
        const std::vector<float>* values = cache.values(name);
        if (values == nullptr) break;
        inputs.push_back(values);
      }
      if (inputs.size() != derivation.inputs.size()) continue;

      std::size_t held = inputs.front()->size();
      for (const auto* values : inputs) held = std::min(held, values->size());
      if (held < seconds_to_frames(derivation.min_window_seconds, fps)) continue;
      const std::size_t width =
          global ? held
                 : static_cast<std::size_t>(std::min<std::uint64_t>(
                       held, seconds_to_frames(derivation.preferred_window_seconds, fps)));

      VitalWindow window;
      for (const auto* values : inputs) {
        window.values.emplace_back(values->data() + (values->size() - width), width);
      }
      const std::vector<float>* confidence = cache.confidences(derivation.inputs.front());
      if (confidence == nullptr || confidence->empty()) {
        unit_confidence.assign(width, 1.0f);
        window.confidence = unit_confidence;
      } else {
        const std::size_t take = std::min(width, confidence->size());
        window.confidence = std::span<const float>(*confidence).last(take);
      }
      window.timestamps = all_timestamps.last(std::min(width, all_timestamps.size()));
      window.fs = frame_rate(window.timestamps, fps);
      window.mean_confidence = ordered_mean(window.confidence);

      const auto [value, conf] = estimate_vital(derivation, window, estimates, workspace, cache);
      if (derivation.min_value <= value && value <= derivation.max_value) {
        estimates[id] = {value, conf};
        break;
      }
    }
  }
  return estimates;
}

std::map<std::string, VitalResult> assemble_vitals(const SessionCore& core,
                                                   const Estimates& estimates, bool global) {
  std::map<std::string, VitalResult> vitals;
  for (const std::string& id : core.vital_ids) {
    const auto estimate = estimates.find(id);
    const auto definition = core.definitions.find(id);
    if (estimate == estimates.end() || definition == core.definitions.end()) continue;
    VitalResult result;
    result.value = estimate->second.first;
    result.confidence = estimate->second.second;
    result.unit = definition->second.unit;
    result.note = fill(global ? kGlobalVitalNote : kLatestVitalNote,
                       {definition->second.display_name, core.config.model_name});
    vitals[id] = std::move(result);
  }
  return vitals;
}

}  // namespace orvane::session_detail
