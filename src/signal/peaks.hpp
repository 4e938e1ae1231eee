// Adaptive-threshold peak detection for quasi-periodic waveforms.
//
// A sample is a candidate when it is a local maximum exceeding the rolling
// mean by more than detection_threshold rolling standard deviations; the
// rolling window spans window_cycles expected cycles. Candidates closer than
// min_dist = ceil(60 / r_max * (1 - distance_tolerance) * fs) samples merge;
// gaps longer than max_gap = trunc(60 / min_rate * 2.5 * fs) split sequences.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace orvane {

// The defaults are the values the callers share (those of the Python
// find_peaks); the spectral rate's PeakDetection method, HRV from a signal and
// mean_peak_value state only what they change.
struct PeakOptions {
  std::optional<float> rate_hint;  // expected rate, per minute
  float fs = 0;                    // sampling rate, Hz
  float min_rate = 40;             // slowest plausible rate, per minute
  float max_rate = 220;            // fastest plausible rate, per minute
  float detection_threshold = 0.45f;  // rolling standard deviations above the rolling mean
  float window_cycles = 2.5f;         // rolling window length, expected cycles
  float max_rate_change = 1.0f;       // drift from the hint, per minute per second
  float distance_tolerance = 0.25f;   // fraction by which min_dist is shortened
  bool refine = false;                // parabolic sub-sample positions
  bool smooth = false;                // pre-smooth with a cutoff at max_rate
};

struct Peak {
  std::uint64_t index = 0;  // sample index in the unsmoothed signal
  float position = 0;       // index, or index plus the parabolic offset
  float amplitude = 0;      // unsmoothed value at index
};

// Peaks with no gap longer than max_gap between neighbours; never empty.
using PeakSequence = std::vector<Peak>;

std::vector<PeakSequence> find_peaks(std::span<const float> signal, const PeakOptions& options);

// index plus the vertex offset (u - w) / (2 (u - 2v + w)) of the parabola
// through y[index - 1 .. index + 1] (a peak or a trough alike); index itself
// at either end, when the curvature term is at most 1e-6 or when the vertex
// lies more than half a sample away.
float parabolic_position(std::span<const float> y, std::size_t index);

// Mean amplitude at the peaks (troughs when `invert`, in the input's sign) and
// mean confidence at those indices; (0, 0) without peaks. fs in Hz.
std::pair<float, float> mean_peak_value(std::span<const float> signal,
                                        std::span<const float> confidence, bool invert, float fs);

}  // namespace orvane
