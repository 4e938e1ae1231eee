// Pieces shared by the session's source files: the per-call cache of averaged
// series, the frame-rate rule, vital estimation and the rolling series.
//
// Frame rate of a run of k capture times t_0 .. t_(k-1) (seconds):
//   fs = (k - 1) / (t_(k-1) - t_0)  Hz, in single precision,
// or the nominal fps_target when k < 2 or the span is not positive.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "registry/registry.hpp"
#include "signal/fft.hpp"
#include "state/session.hpp"
#include "types/types.hpp"

namespace orvane::session_detail {

// The session's state machine without its lock; Session wraps each call in
// its mutex. Tests drive these directly to inspect the stored state.
SessionCore make_core(SessionConfig config);
SessionResult process_core(SessionCore& core, const SessionInput& input, const WaveformMode& mode);
void reset_core(SessionCore& core);

// Vital id -> (value, confidence) estimated so far in one call.
using Estimates = std::map<std::string, std::pair<float, float>, std::less<>>;

// Work that the derivations, waveforms and rolling windows of one call would
// otherwise repeat: the averaged copy of each stored series, made at most once
// per signal, and the peak and trough summaries of each window (systolic,
// diastolic and pulse pressure all read the same pressure window).
class CallCache {
 public:
  explicit CallCache(const SessionCore& core) : core_(core) {}

  // nullptr when the session holds no series under exactly this name.
  const std::vector<float>* values(std::string_view name);
  const std::vector<float>* confidences(std::string_view name);

  // mean_peak_value of the window; windows are told apart by where they lie
  // in the cached series, so equal spans give the remembered result.
  std::pair<float, float> mean_peak_value(std::span<const float> x,
                                          std::span<const float> confidence, bool invert,
                                          float fs);

  // Accepted beat intervals of a pulse window, detected once per window and
  // shared by every HRV metric of the call (they all search the same band
  // with the same hint).
  const NnIntervals& pulse_intervals(std::span<const float> x, std::span<const double> timestamps,
                                     std::span<const float> confidence, float fs, float min_rate,
                                     float max_rate, std::optional<float> rate_hint);

 private:
  using WindowKey =
      std::tuple<const float*, std::size_t, const float*, std::size_t, bool, std::uint32_t>;
  const SessionCore& core_;
  std::map<std::string, std::vector<float>, std::less<>> values_;
  std::map<std::string, std::vector<float>, std::less<>> confidences_;
  std::map<WindowKey, std::pair<float, float>> peak_summaries_;
  // Window, timestamps and the bit patterns of fs, band and hint.
  using PulseKey = std::tuple<const float*, std::size_t, const double*, std::size_t, const float*,
                              std::size_t, std::uint32_t, std::uint32_t, std::uint32_t,
                              std::optional<std::uint32_t>>;
  std::map<PulseKey, NnIntervals> pulse_intervals_;
};

// Plausible range (per minute) of a catalogue entry's first derivation, which
// rate-band searches of other vitals borrow; `fallback` if the entry has none.
struct RateBand {
  float min_rate = 0;
  float max_rate = 0;
};
RateBand first_derivation_band(std::string_view id, RateBand fallback);

// Frame rate (Hz) of the capture times, or `fallback` (Hz) when they cannot
// give one (fewer than two, or a span that is not positive).
float frame_rate(std::span<const double> timestamps, float fallback);

// Replaces each "{}" of `text` in turn by the next argument.
std::string fill(std::string_view text, std::initializer_list<std::string_view> args);

// One derivation applied to one window of frames.
struct VitalWindow {
  std::vector<std::span<const float>> values;  // one per input, equal lengths
  std::span<const float> confidence;           // first input's confidences (may be shorter)
  std::span<const double> timestamps;          // capture times (s) of the newest frames
  float fs = 0;                                // window frame rate, Hz
  float mean_confidence = 0;                   // mean of the first confidence window
};

// (value, confidence) of the derivation's method over the window; estimates
// of earlier vitals of this call serve as hints.
std::pair<float, float> estimate_vital(const Derivation& derivation, const VitalWindow& window,
                                       const Estimates& estimates, SpectralWorkspace& workspace,
                                       CallCache& cache);

// Inspiration-to-expiration time ratio of a respiratory waveform y sampled at
// fs (Hz), with per-sample confidences; `rate_hint` is the breathing rate per
// minute when one is known. (0, 0) when no whole breath is found.
std::pair<float, float> ie_ratio(std::span<const float> y, std::span<const float> confidence,
                                 float fs, std::optional<float> rate_hint);

// The current estimate of every configured vital, in evaluation order.
Estimates estimate_vitals(const SessionCore& core, CallCache& cache, bool global,
                          SpectralWorkspace& workspace);

// `vitals` of the result: unit and note for every estimated vital.
std::map<std::string, VitalResult> assemble_vitals(const SessionCore& core,
                                                   const Estimates& estimates, bool global);

// Per-frame series of every configured vital over the whole history; absent
// when none could be produced.
std::optional<std::map<std::string, WaveformResult>> compute_rolling_vitals(
    const SessionCore& core, CallCache& cache, const Estimates& estimates,
    SpectralWorkspace& workspace);

}  // namespace orvane::session_detail
