// Per-frame (rolling) vital series over the whole stored history.
//
// For a vital with minimum window F + 1, preferred window W and update step S
// (frames at fps_target), windows ending at frames F, F + S, F + 2S, ... and
// always at the last frame are estimated like the current value; accepted
// estimates are joined by straight lines and the last one is held to the end:
//   data[j] = interpolate(accepted frames, accepted values, j),  j >= first accepted
// Frames before the first accepted estimate hold NaN.
#include <algorithm>
#include <cmath>
#include <limits>

#include "signal/filters.hpp"
#include "state/session_detail.hpp"
#include "types/numeric.hpp"

namespace orvane::session_detail {

namespace {

constexpr std::string_view kRollingNote =
    "Rolling estimate of {} with frame-wise confidence levels.";
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The inputs of the derivation that a vital's rolling series uses.
struct RollingInputs {
  const Derivation* derivation = nullptr;
  std::vector<const std::vector<float>*> values;
  const std::vector<float>* confidence = nullptr;  // first input's; null means all 1.0
};

// The first derivation whose every input holds one value per stored frame and
// whose minimum window fits in the history. Requiring every input, not just
// the first, to cover all frames keeps each window aligned with its
// timestamps and inside every series it reads (a pressure pair whose second
// signal started later is passed over like one whose first signal did).
std::optional<RollingInputs> choose_derivation(const VitalDefinition& definition,
                                               CallCache& cache, std::size_t frames,
                                               float fps) {
  for (const Derivation& derivation : definition.derivations) {
    if (derivation.inputs.empty()) continue;
    RollingInputs chosen;
    chosen.derivation = &derivation;
    for (const std::string& name : derivation.inputs) {
      const std::vector<float>* values = cache.values(name);
      if (values == nullptr || values->size() != frames) break;
      chosen.values.push_back(values);
    }
    if (chosen.values.size() != derivation.inputs.size()) continue;
    if (frames < seconds_to_frames(derivation.min_window_seconds, fps)) continue;
    const std::vector<float>* confidence = cache.confidences(derivation.inputs.front());
    if (confidence != nullptr && confidence->size() == frames) chosen.confidence = confidence;
    return chosen;
  }
  return std::nullopt;
}

WaveformResult rolling_series(const SessionCore& core, const RollingInputs& inputs,
                              const Estimates& estimates, SpectralWorkspace& workspace,
                              CallCache& cache) {
  const Derivation& derivation = *inputs.derivation;
  const float fps = core.config.fps_target;
  const std::span<const double> timestamps = core.timestamps;
  const std::size_t frames = timestamps.size();
  const std::uint64_t min_frames = seconds_to_frames(derivation.min_window_seconds, fps);
  const std::uint64_t width = seconds_to_frames(derivation.preferred_window_seconds, fps);
  const std::uint64_t step = std::max<std::uint64_t>(
      1, to_u64(round_half_away(derivation.update_interval_seconds * fps)));

  WaveformResult series;
  series.data.assign(frames, kNaN);
  series.confidence.assign(frames, kNaN);
  std::vector<float> positions;
  std::vector<float> values;
  std::vector<float> confidences;
  std::vector<float> unit_confidence;
  std::size_t first_accepted = frames;

  // A zero minimum window gives no estimates at all.
  if (min_frames > 0) {
    VitalWindow window;
    window.values.resize(inputs.values.size());
    for (std::size_t end = static_cast<std::size_t>(min_frames - 1);;) {
      // Windows grow from the start until they reach W frames, then slide.
      const std::size_t length =
          static_cast<std::size_t>(std::min<std::uint64_t>(width, end + 1));
      const std::size_t lo = end + 1 - length;
      for (std::size_t k = 0; k < inputs.values.size(); ++k) {
        window.values[k] = std::span<const float>(*inputs.values[k]).subspan(lo, length);
      }
      if (inputs.confidence != nullptr) {
        window.confidence = std::span<const float>(*inputs.confidence).subspan(lo, length);
      } else {
        unit_confidence.assign(length, 1.0f);
        window.confidence = unit_confidence;
      }
      window.timestamps = timestamps.subspan(lo, length);
      window.fs = frame_rate(window.timestamps, fps);
      window.mean_confidence = ordered_mean(window.confidence);

      const auto [value, conf] = estimate_vital(derivation, window, estimates, workspace, cache);
      if (derivation.min_value <= value && value <= derivation.max_value) {
        series.data[end] = value;
        series.confidence[end] = conf;
        first_accepted = std::min(first_accepted, end);
        positions.push_back(static_cast<float>(end));
        values.push_back(value);
        confidences.push_back(conf);
      }

      if (end == frames - 1) break;
      end = step >= frames - 1 - end ? frames - 1 : end + static_cast<std::size_t>(step);
    }
  }

  // Bridge the gaps between accepted estimates and hold the last one.
  if (positions.size() >= 2) {
    const std::size_t first = first_accepted;
    std::vector<float> queries(frames - first);
    for (std::size_t j = first; j < frames; ++j) queries[j - first] = static_cast<float>(j);
    const std::vector<float> data = interpolate_linear(positions, values, queries);
    const std::vector<float> conf = interpolate_linear(positions, confidences, queries);
    std::copy(data.begin(), data.end(), series.data.begin() + static_cast<std::ptrdiff_t>(first));
    std::copy(conf.begin(), conf.end(),
              series.confidence.begin() + static_cast<std::ptrdiff_t>(first));
  }
  return series;
}

}  // namespace

std::optional<std::map<std::string, WaveformResult>> compute_rolling_vitals(
    const SessionCore& core, CallCache& cache, const Estimates& estimates,
    SpectralWorkspace& workspace) {
  const std::size_t frames = core.timestamps.size();
  if (frames == 0) return std::nullopt;
  std::map<std::string, WaveformResult> rolling;
  for (const std::string& id : core.vital_ids) {
    const auto definition = core.definitions.find(id);
    if (definition == core.definitions.end()) continue;
    const std::optional<RollingInputs> inputs =
        choose_derivation(definition->second, cache, frames, core.config.fps_target);
    if (!inputs) continue;
    WaveformResult series = rolling_series(core, *inputs, estimates, workspace, cache);
    series.unit = definition->second.unit;
    series.note = fill(kRollingNote, {definition->second.display_name});
    rolling[id] = std::move(series);
  }
  if (rolling.empty()) return std::nullopt;
  return rolling;
}

}  // namespace orvane::session_detail
