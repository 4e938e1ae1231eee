// Rate from detections.
//
// rate = 60 / mean interval (per minute); confidence = regularity times the
// mean detection confidence, regularity = max(0, 1 - (std / mean) / 0.3).
#pragma once

#include <span>
#include <string_view>

#include "signal/peaks.hpp"

namespace orvane {

struct RateEstimate {
  std::string_view method;  // "Periodogram" or "PeakDetection"
  float value = 0;          // per minute; 0 means no estimate
  float confidence = 0;     // 0..1
};

inline constexpr std::string_view kPeriodogram = "Periodogram";
inline constexpr std::string_view kPeakDetection = "PeakDetection";

// Time (s) of a fractional sample position: from the timestamps (s, one per
// sample) when non-empty, else position / fs (Hz).
double detection_time(float position, std::span<const double> timestamps, float fs);

// Empty timestamps or confidence mean "not given".
RateEstimate estimate_rate_from_detections(std::span<const PeakSequence> sequences,
                                           std::span<const double> timestamps,
                                           std::span<const float> confidence, float fs);

}  // namespace orvane
