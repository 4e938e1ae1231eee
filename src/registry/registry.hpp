// The fixed catalogue of known vitals: display metadata, the derivations that
// estimate each vital from model signals, and waveform post-processing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "signal/fft.hpp"
#include "signal/hrv.hpp"
#include "types/types.hpp"

namespace orvane {

enum class WaveformProcessing : std::uint8_t {
  None,
  Detrend,
  MovingAverage,
  Standardize,
  MovingAverageStandardize,
  DetrendMovingAverageStandardize,
};

struct WaveformSpec {
  std::optional<float> detrend_cutoff_hz;    // Hz; 0.5 when absent
  std::optional<float> smoothing_cutoff_hz;  // Hz; 3.0 when absent
  float min_duration_seconds = 0;            // shorter series are returned unprocessed
  WaveformProcessing processing = WaveformProcessing::None;
};

struct DerivationMethod {
  enum class Kind : std::uint8_t {
    Rate,
    Hrv,
    Mean,
    WaveformSystolic,
    WaveformDiastolic,
    WaveformPulsePressure,
    PulsePressureFromPressures,
    MeanArterialFromPressures,
    IeRatio,
  };
  Kind kind = Kind::Mean;
  RateMethod rate{};             // payload of Rate
  HrvMetric hrv = HrvMetric::Sdnn;  // payload of Hrv
};

struct Derivation {
  std::vector<std::string> inputs;  // signal ids, in the order the method reads them
  DerivationMethod method;
  float min_window_seconds = 0;
  float preferred_window_seconds = 0;
  float update_interval_seconds = 0;
  float min_value = 0;  // plausible range, inclusive; also the rate band of Rate
  float max_value = 0;
  std::uint8_t stage = 0;  // evaluation order within one session call
};

struct VitalDefinition {
  std::string id;
  std::vector<Derivation> derivations;
  std::string unit;
  std::string display_name;
  std::string short_name;
  std::string color;
  std::string emoji;  // UTF-8
  std::optional<WaveformSpec> waveform;
  bool derived = false;
};

// Exact, case-sensitive match of a canonical id or alias. Each call returns an
// independent value.
std::optional<VitalDefinition> lookup_vital(std::string_view id);

// Canonical id of a known id or alias, without building the entry; the view
// points into constant data.
std::optional<std::string_view> canonical_vital_id(std::string_view id);

// Display fields plus the four numbers of the first derivation, if any.
std::optional<VitalInfo> get_vital_info(std::string_view vital_id);

}  // namespace orvane
