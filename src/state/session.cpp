// Session construction, the processing of one batch, and reset.
//
// A batch is validated, merged into the stored history (frames already held
// are recognised by timestamp and averaged), the history is trimmed to sixty
// seconds at fps_target unless the caller asks for Global results, vitals are
// estimated, and the result covers the frames that the WaveformMode selects.
#include "state/session.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "signal/filters.hpp"
#include "state/session_detail.hpp"
#include "types/numeric.hpp"

namespace orvane {

using session_detail::CallCache;
using session_detail::fill;
using session_detail::frame_rate;

namespace {

constexpr float kHistorySeconds = 60.0f;
constexpr float kDefaultDetrendCutoffHz = 0.5f;
constexpr float kDefaultSmoothingCutoffHz = 3.0f;

constexpr std::string_view kFaceCoordinatesMismatch =
    "Length mismatch: face.coordinates has length {}, expected {}";
constexpr std::string_view kFaceConfidenceMismatch =
    "Length mismatch: face.confidence has length {}, expected {}";
constexpr std::string_view kSignalDataMismatch =
    "Length mismatch: signals[{}].data has length {}, expected {}";
constexpr std::string_view kSignalConfidenceMismatch =
    "Length mismatch: signals[{}].confidence has length {}, expected {}";

constexpr std::string_view kLatestWaveformNote =
    "Latest estimate of {} with frame-wise confidence scores using {}.";
constexpr std::string_view kGlobalWaveformNote =
    "Global estimate of {} with frame-wise confidence scores using {}.";

std::uint8_t first_stage(const VitalDefinition& definition) {
  return definition.derivations.empty() ? 0 : definition.derivations.front().stage;
}

// The first per-frame list whose length differs from the batch's timestamp
// count, as the text the caller receives; nothing when the batch is sound.
std::optional<std::string> find_length_mismatch(const SessionInput& input) {
  const std::string expected = std::to_string(input.timestamp.size());
  auto mismatch = [&](std::size_t length) {
    return length == input.timestamp.size() ? std::optional<std::string>{}
                                            : std::optional<std::string>{std::to_string(length)};
  };
  if (input.face) {
    if (auto got = mismatch(input.face->coordinates.size())) {
      return fill(kFaceCoordinatesMismatch, {*got, expected});
    }
    if (auto got = mismatch(input.face->confidence.size())) {
      return fill(kFaceConfidenceMismatch, {*got, expected});
    }
  }
  for (const auto& [key, signal] : input.signals) {
    if (auto got = mismatch(signal.data.size())) {
      return fill(kSignalDataMismatch, {key, *got, expected});
    }
    if (auto got = mismatch(signal.confidence.size())) {
      return fill(kSignalConfidenceMismatch, {key, *got, expected});
    }
  }
  return std::nullopt;
}

// Appends the batch's frames that are newer than the stored ones and returns
// how many leading batch frames the session already held.
std::uint64_t merge_timestamps(SessionCore& core, const std::vector<double>& batch) {
  if (core.timestamps.empty()) {
    core.timestamps.insert(core.timestamps.end(), batch.begin(), batch.end());
    return 0;
  }
  // A frame is new only when it lies clearly past the newest stored one;
  // hosts re-send frames with slightly jittered times. Everything after the
  // first new frame is appended as it comes, in whatever order.
  const double newest = core.timestamps.back();
  std::size_t first_new = 0;
  while (first_new < batch.size() && !(batch[first_new] > newest + kTimestampTolerance)) {
    ++first_new;
  }
  core.timestamps.insert(core.timestamps.end(),
                         batch.begin() + static_cast<std::ptrdiff_t>(first_new), batch.end());
  return first_new;
}

void merge_signals(SessionCore& core, const SessionInput& input, std::uint64_t overlap) {
  std::vector<std::string> pushed;  // canonical ids already fed by this batch
  for (const auto& [key, signal] : input.signals) {
    // Aliases share the canonical id's series, so "ppg" and "ppg_waveform"
    // feed one history.
    const std::optional<std::string_view> canonical = canonical_vital_id(key);
    const std::string id = canonical ? std::string(*canonical) : key;
    // A second key of the same id describes the same frames as the first one,
    // which has just stored them: merging all of its values keeps one entry
    // per frame instead of appending the batch a second time.
    const bool repeated = std::find(pushed.begin(), pushed.end(), id) != pushed.end();
    const std::uint64_t held = repeated ? input.timestamp.size() : overlap;
    core.signal_series[id].push(signal.data, held);
    core.confidence_series[id].push(signal.confidence, held);
    if (!repeated) pushed.push_back(id);
  }
}

void merge_faces(SessionCore& core, const SessionInput& input, std::uint64_t overlap) {
  const std::size_t n = input.timestamp.size();
  for (std::size_t i = static_cast<std::size_t>(std::min<std::uint64_t>(overlap, n)); i < n;
       ++i) {
    std::array<float, 4> box{0, 0, 0, 0};
    float confidence = 0;
    if (input.face) {
      const std::vector<float>& given = input.face->coordinates[i];
      if (given.size() >= 4) std::copy_n(given.begin(), 4, box.begin());
      confidence = input.face->confidence[i];
    }
    core.face_boxes.push_back(box);
    core.face_confidences.push_back(confidence);
  }
}

void trim_history(SessionCore& core) {
  if (core.timestamps.size() <= core.max_frames) return;
  const auto drop = static_cast<std::ptrdiff_t>(core.timestamps.size() - core.max_frames);
  core.timestamps.erase(core.timestamps.begin(), core.timestamps.begin() + drop);
  core.face_boxes.erase(core.face_boxes.begin(), core.face_boxes.begin() + drop);
  core.face_confidences.erase(core.face_confidences.begin(),
                              core.face_confidences.begin() + drop);
  for (auto& [id, series] : core.signal_series) series.truncate_front(core.max_frames);
  for (auto& [id, series] : core.confidence_series) series.truncate_front(core.max_frames);
}

// Index of the first stored frame that the result returns.
std::size_t select_start(const SessionCore& core, const WaveformMode& mode) {
  const std::size_t stored = core.timestamps.size();
  switch (mode.kind) {
    case WaveformMode::Kind::Incremental: {
      std::size_t i = 0;
      while (i < stored && !(core.timestamps[i] > core.last_emitted_timestamp)) ++i;
      return i;
    }
    case WaveformMode::Kind::Windowed: {
      const std::uint64_t window = seconds_to_frames(mode.seconds, core.config.fps_target);
      return window >= stored ? 0 : stored - static_cast<std::size_t>(window);
    }
    case WaveformMode::Kind::Global:
      return 0;
  }
  return 0;
}

std::vector<float> post_process(std::vector<float> values, const WaveformSpec& spec,
                                float fps_all) {
  if (values.size() < seconds_to_frames(spec.min_duration_seconds, fps_all)) return values;
  const float detrend_cutoff = spec.detrend_cutoff_hz.value_or(kDefaultDetrendCutoffHz);
  const float smoothing_cutoff = spec.smoothing_cutoff_hz.value_or(kDefaultSmoothingCutoffHz);
  const std::uint64_t window =
      moving_average_window_for_cutoff(fps_all, smoothing_cutoff, /*force_odd=*/true);
  switch (spec.processing) {
    case WaveformProcessing::None:
      return values;
    case WaveformProcessing::Detrend:
      return detrend(values, fps_all, detrend_cutoff);
    case WaveformProcessing::MovingAverage:
      return moving_average(values, window);
    case WaveformProcessing::Standardize:
      return standardize(values);
    case WaveformProcessing::MovingAverageStandardize:
      return standardize(moving_average(values, window));
    case WaveformProcessing::DetrendMovingAverageStandardize:
      return standardize(moving_average(detrend(values, fps_all, detrend_cutoff), window));
  }
  return values;
}

// The newest `count` entries of `v` (all of them when it holds fewer).
template <typename T>
std::vector<T> newest(const std::vector<T>& v, std::size_t count) {
  const std::size_t take = std::min(count, v.size());
  return std::vector<T>(v.end() - static_cast<std::ptrdiff_t>(take), v.end());
}

std::map<std::string, WaveformResult> build_waveforms(const SessionCore& core,
                                                      CallCache& cache,
                                                      std::size_t start, bool global) {
  std::map<std::string, WaveformResult> waveforms;
  if (!core.config.return_waveforms) return waveforms;
  const float fps_all = frame_rate(core.timestamps, core.config.fps_target);
  const std::size_t returned_frames = core.timestamps.size() - start;
  for (const std::string& name : *core.config.return_waveforms) {
    const std::optional<VitalDefinition> entry = lookup_vital(name);
    if (!entry || entry->derived) continue;
    const std::vector<float>* stored = cache.values(entry->id);
    if (stored == nullptr) continue;

    // Filters see the whole stored series so that the returned frames are
    // processed with their full context, not just the returned part.
    std::vector<float> processed =
        entry->waveform ? post_process(*stored, *entry->waveform, fps_all) : *stored;

    // A signal that started arriving after the first stored frame holds fewer
    // entries than there are timestamps; its newest entry belongs to the
    // newest frame, so the returned part is cut from the newest end to stay
    // aligned with the returned timestamps.
    WaveformResult result;
    result.data = newest(processed, returned_frames);
    if (result.data.empty()) continue;
    if (const std::vector<float>* confidence = cache.confidences(entry->id)) {
      result.confidence = newest(*confidence, result.data.size());
    } else {
      result.confidence.assign(result.data.size(), 1.0f);
    }
    result.unit = entry->unit;
    result.note = fill(global ? kGlobalWaveformNote : kLatestWaveformNote,
                       {entry->display_name, core.config.model_name});
    waveforms[entry->id] = std::move(result);
  }
  return waveforms;
}

FaceResult build_face(const SessionCore& core, std::size_t start) {
  FaceResult face;
  face.coordinates.reserve(core.face_boxes.size() - start);
  for (std::size_t i = start; i < core.face_boxes.size(); ++i) {
    face.coordinates.emplace_back(core.face_boxes[i].begin(), core.face_boxes[i].end());
  }
  face.confidence.assign(core.face_confidences.begin() + static_cast<std::ptrdiff_t>(start),
                         core.face_confidences.end());
  return face;
}

}  // namespace

namespace session_detail {

SessionCore make_core(SessionConfig config) {
  SessionCore core;
  core.config = std::move(config);
  std::vector<VitalDefinition> known;
  for (const std::string& name : core.config.supported_vitals) {
    std::optional<VitalDefinition> definition = lookup_vital(name);
    if (!definition) continue;
    core.definitions[definition->id] = *definition;
    known.push_back(std::move(*definition));
  }
  // Vitals that read other vitals' estimates of the same call as hints run in
  // a later stage; within a stage the configured order holds.
  std::stable_sort(known.begin(), known.end(),
                   [](const VitalDefinition& a, const VitalDefinition& b) {
                     return first_stage(a) < first_stage(b);
                   });
  for (const VitalDefinition& definition : known) core.vital_ids.push_back(definition.id);
  core.max_frames = seconds_to_frames(kHistorySeconds, core.config.fps_target);
  return core;
}

SessionResult process_core(SessionCore& core, const SessionInput& input,
                           const WaveformMode& mode) {
  SessionResult result;
  if (std::optional<std::string> mismatch = find_length_mismatch(input)) {
    result.fps = core.config.fps_target;
    result.message = std::move(*mismatch);
    return result;
  }

  const bool global = mode.kind == WaveformMode::Kind::Global;
  const std::uint64_t overlap = merge_timestamps(core, input.timestamp);
  merge_signals(core, input, overlap);
  merge_faces(core, input, overlap);
  ORVANE_ASSERT(core.face_boxes.size() == core.timestamps.size() &&
                core.face_confidences.size() == core.timestamps.size());
  if (!global) trim_history(core);

  CallCache cache(core);
  const session_detail::Estimates estimates =
      session_detail::estimate_vitals(core, cache, global, core.workspace);
  if (global && core.config.estimate_rolling_vitals.value_or(false)) {
    result.rolling_vitals =
        session_detail::compute_rolling_vitals(core, cache, estimates, core.workspace);
  }

  const std::size_t start = select_start(core, mode);
  if (!core.timestamps.empty()) core.last_emitted_timestamp = core.timestamps.back();

  result.timestamp.assign(core.timestamps.begin() + static_cast<std::ptrdiff_t>(start),
                          core.timestamps.end());
  result.fps = frame_rate(result.timestamp, core.config.fps_target);
  result.waveforms = build_waveforms(core, cache, start, global);
  result.vitals = session_detail::assemble_vitals(core, estimates, global);
  if (!core.face_boxes.empty()) result.face = build_face(core, start);
  result.message = std::string(kDisclaimer);
  return result;
}

void reset_core(SessionCore& core) {
  core.timestamps.clear();
  core.face_boxes.clear();
  core.face_confidences.clear();
  for (auto& [id, series] : core.signal_series) series.clear();
  for (auto& [id, series] : core.confidence_series) series.clear();
  core.last_emitted_timestamp = -1.0;
}

}  // namespace session_detail

Session::Session(SessionConfig config) : core_(session_detail::make_core(std::move(config))) {}

SessionResult Session::process(const SessionInput& input, const WaveformMode& mode) {
  std::lock_guard<std::mutex> lock(mutex_);
  return session_detail::process_core(core_, input, mode);
}

void Session::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  session_detail::reset_core(core_);
}

}  // namespace orvane
