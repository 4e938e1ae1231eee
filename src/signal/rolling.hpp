// Rolling (per-frame) estimates from detections.
//
// At each detection the vital is re-estimated from the detections of the
// trailing preferred window, no sooner than update_interval after the last
// estimate and not before the sequence has lasted min_window; each value is
// held on the frames up to the next detection.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "signal/peaks.hpp"

namespace orvane {

enum class RollingError : std::uint8_t {
  None,
  UnknownName,    // "Unknown vital rate: {name}" / "Unknown HRV metric: {name}"
  NoDerivations,  // "No derivations found for vital" / "... for metric"
  InvalidMetric,  // "Invalid HRV metric"
  TooLarge,       // total_frames cannot be allocated
};

struct RollingOutcome {
  RollingError error = RollingError::None;
  std::string message;              // set when error != None
  std::vector<float> values;        // total_frames values, NaN where none
  std::vector<float> confidences;   // total_frames values, 0 where none
};

// Largest total_frames accepted: two float vectors of this length stay
// within a few gigabytes; larger requests are refused with TooLarge.
inline constexpr std::uint64_t kMaxRollingFrames = std::uint64_t{1} << 28;

// Both operations: `sequences` are detections whose `position` (fractional
// sample) gives the time and whose `index` is the video frame they belong to;
// fs is the sampling rate in Hz (> 0); timestamps (s, one per sample) and
// confidence (0..1, one per sample) are used only when non-empty. The output
// holds total_frames values (at most kMaxRollingFrames). The name is matched
// exactly against the vital catalogue, whose first derivation gives the
// timing. A last detection holds its value until 2 f_k - f_{k-1}, clamped to
// [f_k, total_frames]: out-of-order detections hold nothing rather than wrap.

// Rate per minute; `vital_name` is a catalogue id or alias such as "heart_rate".
RollingOutcome estimate_rolling_rate_from_detections(std::span<const PeakSequence> sequences,
                                                     float fs, std::string_view vital_name,
                                                     std::uint64_t total_frames,
                                                     std::span<const double> timestamps,
                                                     std::span<const float> confidence);

// HRV metric; `metric_name` must name both a catalogue entry and a metric,
// such as "hrv_sdnn" or "stress_index".
RollingOutcome estimate_rolling_hrv_metric_from_detections(std::span<const PeakSequence> sequences,
                                                           float fs, std::string_view metric_name,
                                                           std::uint64_t total_frames,
                                                           std::span<const double> timestamps,
                                                           std::span<const float> confidence);

}  // namespace orvane
