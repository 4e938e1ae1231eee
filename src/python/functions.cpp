// The module's functions.
//
// Each reads top to bottom in the same order: bind and convert every
// argument (parameter order, first failure ends the call), take the data of
// array arguments as contiguous blocks, resolve names, call the library, and
// convert the result. Settings that the Python signatures do not offer are
// fixed here:
//   heart rate:        periodogram, resolution 0.005 Hz, band 40..220 per minute
//   respiratory rate:  periodogram, resolution 0.01 Hz, band 3..60 per minute
//   HRV from a signal: no timestamps, beat band 40..220 per minute
//   peaks:             distance tolerance 0.25, pre-smoothing on
// Detections are lists of fractional sample positions; position x becomes a
// peak at index floor(x) (saturating, NaN and negatives give 0) with
// amplitude 1.
#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "geometry/geometry.hpp"
#include "python/binder.hpp"
#include "python/class_builder.hpp"
#include "python/functions.hpp"
#include "registry/registry.hpp"
#include "signal/fft.hpp"
#include "signal/filters.hpp"
#include "signal/hrv.hpp"
#include "signal/peaks.hpp"
#include "signal/rate.hpp"
#include "signal/rolling.hpp"
#include "state/frames.hpp"
#include "types/numeric.hpp"

namespace orvane::py {
namespace {

using Detections = std::vector<std::vector<float>>;

std::vector<PeakSequence> to_sequences(const Detections& detections) {
  std::vector<PeakSequence> sequences;
  sequences.reserve(detections.size());
  for (const std::vector<float>& positions : detections) {
    PeakSequence& sequence = sequences.emplace_back();
    sequence.reserve(positions.size());
    for (float x : positions) sequence.push_back(Peak{to_u64(std::floor(x)), x, 1.0f});
  }
  return sequences;
}

template <typename T>
std::span<const T> given_or_empty(const std::optional<std::vector<T>>& values) {
  return values ? std::span<const T>(*values) : std::span<const T>();
}

PyObject* hrv_metric_error() {
  PyErr_SetString(PyExc_ValueError, std::string(kInvalidHrvMetric).c_str());
  return nullptr;
}

// The tuple (values, confidences), or the refusal of the rolling estimator:
// ValueError for names it cannot use, MemoryError for a frame count that
// cannot be allocated.
PyObject* rolling_result(const RollingOutcome& outcome) {
  switch (outcome.error) {
    case RollingError::None:
      return Conv<std::pair<std::vector<float>, std::vector<float>>>::to(
          {outcome.values, outcome.confidences});
    case RollingError::TooLarge:
      PyErr_SetString(PyExc_MemoryError, outcome.message.c_str());
      return nullptr;
    case RollingError::UnknownName:
    case RollingError::NoDerivations:
    case RollingError::InvalidMetric:
      PyErr_SetString(PyExc_ValueError, outcome.message.c_str());
      return nullptr;
  }
  fatal("unknown rolling estimator outcome", __FILE__, __LINE__);
}

// ---- Signatures -------------------------------------------------------------

constexpr Param kSignalFsParams[] = {{"signal", true}, {"fs", true}};
constexpr Signature kEstimateHeartRate = {"estimate_heart_rate()", kSignalFsParams};
constexpr Signature kEstimateRespiratoryRate = {"estimate_respiratory_rate()", kSignalFsParams};

constexpr Param kRateFromDetectionsParams[] = {
    {"sequences", true}, {"fs", true}, {"timestamps", false}, {"confidence", false}};
constexpr Signature kEstimateRateFromDetections = {"estimate_rate_from_detections()",
                                                   kRateFromDetectionsParams};

constexpr Param kRollingRateParams[] = {{"sequences", true},    {"fs", true},
                                        {"vital_name", true},   {"total_frames", true},
                                        {"timestamps", false},  {"confidence", false}};
constexpr Signature kEstimateRollingRate = {"estimate_rolling_rate_from_detections()",
                                            kRollingRateParams};

constexpr Param kHrvMetricParams[] = {{"signal", true},
                                      {"fs", true},
                                      {"metric_name", true},
                                      {"confidence", true},
                                      {"rate_hint", false}};
constexpr Signature kEstimateHrvMetric = {"estimate_hrv_metric()", kHrvMetricParams};

constexpr Param kHrvFromDetectionsParams[] = {{"sequences", true},
                                              {"fs", true},
                                              {"metric_name", true},
                                              {"timestamps", false},
                                              {"confidence", false}};
constexpr Signature kEstimateHrvFromDetections = {"estimate_hrv_metric_from_detections()",
                                                  kHrvFromDetectionsParams};

constexpr Param kRollingHrvParams[] = {{"sequences", true},   {"fs", true},
                                       {"metric_name", true}, {"total_frames", true},
                                       {"timestamps", false}, {"confidence", false}};
constexpr Signature kEstimateRollingHrv = {"estimate_rolling_hrv_metric_from_detections()",
                                           kRollingHrvParams};

constexpr Param kFindPeaksParams[] = {{"signal", true},
                                      {"fs", true},
                                      {"refine", true},
                                      {"rate_hint", false},
                                      {"min_rate", false},
                                      {"max_rate", false},
                                      {"detection_threshold", false},
                                      {"window_cycles", false},
                                      {"max_rate_change", false}};
constexpr Signature kFindPeaks = {"find_peaks()", kFindPeaksParams};

constexpr Param kCalculateRoiParams[] = {{"face", true},
                                         {"method", true},
                                         {"detector", false},
                                         {"container", false},
                                         {"force_even", false}};
constexpr Signature kCalculateRoi = {"calculate_roi()", kCalculateRoiParams};

constexpr Param kVitalIdParams[] = {{"vital_id", true}};
constexpr Signature kGetVitalInfo = {"get_vital_info()", kVitalIdParams};

constexpr Param kConfigParams[] = {{"config", true}};
constexpr Signature kComputeBufferConfig = {"compute_buffer_config()", kConfigParams};

constexpr Param kDetrendLambdaParams[] = {{"fs", true}, {"cutoff", true}};
constexpr Signature kDetrendLambda = {"detrend_lambda_for_cutoff()", kDetrendLambdaParams};

constexpr Param kMovingAverageParams[] = {{"fs", true}, {"cutoff_hz", true}, {"force_odd", true}};
constexpr Signature kMovingAverageWindow = {"moving_average_window_for_cutoff()",
                                            kMovingAverageParams};

// ---- Rates from a signal ----------------------------------------------------

PyObject* spectral_rate(const Signature& signature, PyObject* args, PyObject* kwargs,
                        float resolution_hz, float min_rate, float max_rate) {
  return call_bound(signature, args, kwargs, [&](const Args& a) -> PyObject* {
    Float32Array signal;
    float fs = 0;
    if (!a.get(0, signal) || !a.get(1, fs)) return nullptr;
    const auto samples = signal.contiguous_data();
    if (!samples) return nullptr;
    const RateEstimate rate = estimate_rate(*samples, fs, RateMethod::periodogram(resolution_hz),
                                            min_rate, max_rate, std::nullopt, nullptr);
    return Conv<std::pair<float, float>>::to({rate.value, rate.confidence});
  });
}

PyObject* py_estimate_heart_rate(PyObject*, PyObject* args, PyObject* kwargs) {
  return spectral_rate(kEstimateHeartRate, args, kwargs, 0.005f, 40.0f, 220.0f);
}

PyObject* py_estimate_respiratory_rate(PyObject*, PyObject* args, PyObject* kwargs) {
  return spectral_rate(kEstimateRespiratoryRate, args, kwargs, 0.01f, 3.0f, 60.0f);
}

// ---- Estimates from detections ----------------------------------------------

PyObject* py_estimate_rate_from_detections(PyObject*, PyObject* args, PyObject* kwargs) {
  return call_bound(kEstimateRateFromDetections, args, kwargs, [&](const Args& a) -> PyObject* {
    Detections detections;
    float fs = 0;
    std::optional<std::vector<double>> timestamps;
    std::optional<std::vector<float>> confidence;
    if (!a.get(0, detections) || !a.get(1, fs) || !a.get(2, timestamps) ||
        !a.get(3, confidence)) {
      return nullptr;
    }
    const RateEstimate rate = estimate_rate_from_detections(
        to_sequences(detections), given_or_empty(timestamps), given_or_empty(confidence), fs);
    return Conv<std::pair<float, float>>::to({rate.value, rate.confidence});
  });
}

// Both rolling functions take the same arguments; the estimator differs.
using RollingEstimator = RollingOutcome (*)(std::span<const PeakSequence>, float,
                                            std::string_view, std::uint64_t,
                                            std::span<const double>, std::span<const float>);

PyObject* rolling(const Signature& signature, RollingEstimator estimator, PyObject* args,
                  PyObject* kwargs) {
  return call_bound(signature, args, kwargs, [&](const Args& a) -> PyObject* {
    Detections detections;
    float fs = 0;
    std::string name;
    std::uint64_t total_frames = 0;
    std::optional<std::vector<double>> timestamps;
    std::optional<std::vector<float>> confidence;
    if (!a.get(0, detections) || !a.get(1, fs) || !a.get(2, name) || !a.get(3, total_frames) ||
        !a.get(4, timestamps) || !a.get(5, confidence)) {
      return nullptr;
    }
    return rolling_result(estimator(to_sequences(detections), fs, name, total_frames,
                                    given_or_empty(timestamps), given_or_empty(confidence)));
  });
}

PyObject* py_estimate_rolling_rate_from_detections(PyObject*, PyObject* args, PyObject* kwargs) {
  return rolling(kEstimateRollingRate, estimate_rolling_rate_from_detections, args, kwargs);
}

PyObject* py_estimate_hrv_metric(PyObject*, PyObject* args, PyObject* kwargs) {
  return call_bound(kEstimateHrvMetric, args, kwargs, [&](const Args& a) -> PyObject* {
    Float32Array signal;
    float fs = 0;
    std::string metric_name;
    Float32Array confidence;
    std::optional<float> rate_hint;
    if (!a.get(0, signal) || !a.get(1, fs) || !a.get(2, metric_name) || !a.get(3, confidence) ||
        !a.get(4, rate_hint)) {
      return nullptr;
    }
    const auto samples = signal.contiguous_data();
    if (!samples) return nullptr;
    const auto confidences = confidence.contiguous_data();
    if (!confidences) return nullptr;
    const std::optional<HrvMetric> metric = parse_hrv_metric(metric_name);
    if (!metric) return hrv_metric_error();
    const auto [value, conf] = estimate_hrv_metric(*samples, *metric, {}, *confidences, fs, 40.0f,
                                                   220.0f, rate_hint);
    return Conv<std::pair<float, float>>::to({value, conf});
  });
}

PyObject* py_estimate_hrv_metric_from_detections(PyObject*, PyObject* args, PyObject* kwargs) {
  return call_bound(kEstimateHrvFromDetections, args, kwargs, [&](const Args& a) -> PyObject* {
    Detections detections;
    float fs = 0;
    std::string metric_name;
    std::optional<std::vector<double>> timestamps;
    std::optional<std::vector<float>> confidence;
    if (!a.get(0, detections) || !a.get(1, fs) || !a.get(2, metric_name) ||
        !a.get(3, timestamps) || !a.get(4, confidence)) {
      return nullptr;
    }
    const std::optional<HrvMetric> metric = parse_hrv_metric(metric_name);
    if (!metric) return hrv_metric_error();
    const auto [value, conf] = estimate_hrv_metric_from_detections(
        to_sequences(detections), *metric, given_or_empty(timestamps), given_or_empty(confidence),
        fs);
    return Conv<std::pair<float, float>>::to({value, conf});
  });
}

PyObject* py_estimate_rolling_hrv_metric_from_detections(PyObject*, PyObject* args,
                                                         PyObject* kwargs) {
  return rolling(kEstimateRollingHrv, estimate_rolling_hrv_metric_from_detections, args, kwargs);
}

// ---- Peaks ------------------------------------------------------------------

PyObject* py_find_peaks(PyObject*, PyObject* args, PyObject* kwargs) {
  return call_bound(kFindPeaks, args, kwargs, [&](const Args& a) -> PyObject* {
    Float32Array signal;
    PeakOptions options;  // defaults of the published signature
    options.distance_tolerance = 0.25f;
    options.smooth = true;
    if (!a.get(0, signal) || !a.get(1, options.fs) || !a.get(2, options.refine) ||
        !a.get(3, options.rate_hint) || !a.get(4, options.min_rate) ||
        !a.get(5, options.max_rate) || !a.get(6, options.detection_threshold) ||
        !a.get(7, options.window_cycles) || !a.get(8, options.max_rate_change)) {
      return nullptr;
    }
    const auto samples = signal.contiguous_data();
    if (!samples) return nullptr;
    std::vector<float> positions;
    for (const PeakSequence& sequence : find_peaks(*samples, options)) {
      for (const Peak& peak : sequence) positions.push_back(peak.position);
    }
    return Conv<std::vector<float>>::to(positions);
  });
}

// ---- Geometry, registry, buffers --------------------------------------------

PyObject* py_calculate_roi(PyObject*, PyObject* args, PyObject* kwargs) {
  return call_bound(kCalculateRoi, args, kwargs, [&](const Args& a) -> PyObject* {
    Rect face;
    RoiMethod method;
    FaceDetector detector = FaceDetector::Default;
    std::optional<Container> container;
    bool force_even = false;
    if (!a.get(0, face) || !a.get(1, method) || !a.get(2, detector) || !a.get(3, container) ||
        !a.get(4, force_even)) {
      return nullptr;
    }
    std::optional<float> width, height;
    if (container) {
      width = container->width;
      height = container->height;
    }
    return Conv<Rect>::to(calculate_roi(face, method, detector, width, height, force_even));
  });
}

PyObject* py_get_vital_info(PyObject*, PyObject* args, PyObject* kwargs) {
  return call_bound(kGetVitalInfo, args, kwargs, [&](const Args& a) -> PyObject* {
    std::string vital_id;
    if (!a.get(0, vital_id)) return nullptr;
    return Conv<std::optional<VitalInfo>>::to(get_vital_info(vital_id));
  });
}

PyObject* py_compute_buffer_config(PyObject*, PyObject* args, PyObject* kwargs) {
  return call_bound(kComputeBufferConfig, args, kwargs, [&](const Args& a) -> PyObject* {
    SessionConfig config;
    if (!a.get(0, config)) return nullptr;
    return Conv<BufferConfig>::to(compute_buffer_config(config));
  });
}

// ---- Filter sizing ----------------------------------------------------------

PyObject* py_detrend_lambda_for_cutoff(PyObject*, PyObject* args, PyObject* kwargs) {
  return call_bound(kDetrendLambda, args, kwargs, [&](const Args& a) -> PyObject* {
    float fs = 0, cutoff = 0;
    if (!a.get(0, fs) || !a.get(1, cutoff)) return nullptr;
    return Conv<float>::to(detrend_lambda_for_cutoff(fs, cutoff));
  });
}

PyObject* py_moving_average_window_for_cutoff(PyObject*, PyObject* args, PyObject* kwargs) {
  return call_bound(kMovingAverageWindow, args, kwargs, [&](const Args& a) -> PyObject* {
    float fs = 0, cutoff_hz = 0;
    bool force_odd = false;
    if (!a.get(0, fs) || !a.get(1, cutoff_hz) || !a.get(2, force_odd)) return nullptr;
    return Conv<std::uint64_t>::to(moving_average_window_for_cutoff(fs, cutoff_hz, force_odd));
  });
}

template <PyObject* (*Fn)(PyObject*, PyObject*, PyObject*)>
constexpr PyCFunction as_method() {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Fn));
}

constexpr int kFlags = METH_VARARGS | METH_KEYWORDS;

// Registration order and the published signatures (the documentation).
PyMethodDef kFunctions[] = {
    {"estimate_heart_rate", as_method<py_estimate_heart_rate>(), kFlags,
     "estimate_heart_rate(signal, fs)\n--\n\n"},
    {"estimate_respiratory_rate", as_method<py_estimate_respiratory_rate>(), kFlags,
     "estimate_respiratory_rate(signal, fs)\n--\n\n"},
    {"estimate_rate_from_detections", as_method<py_estimate_rate_from_detections>(), kFlags,
     "estimate_rate_from_detections(sequences, fs, timestamps=None, confidence=None)\n--\n\n"},
    {"estimate_rolling_rate_from_detections",
     as_method<py_estimate_rolling_rate_from_detections>(), kFlags,
     "estimate_rolling_rate_from_detections(sequences, fs, vital_name, total_frames, "
     "timestamps=None, confidence=None)\n--\n\n"},
    {"estimate_hrv_metric", as_method<py_estimate_hrv_metric>(), kFlags,
     "estimate_hrv_metric(signal, fs, metric_name, confidence, rate_hint=None)\n--\n\n"},
    {"estimate_hrv_metric_from_detections", as_method<py_estimate_hrv_metric_from_detections>(),
     kFlags,
     "estimate_hrv_metric_from_detections(sequences, fs, metric_name, timestamps=None, "
     "confidence=None)\n--\n\n"},
    {"estimate_rolling_hrv_metric_from_detections",
     as_method<py_estimate_rolling_hrv_metric_from_detections>(), kFlags,
     "estimate_rolling_hrv_metric_from_detections(sequences, fs, metric_name, total_frames, "
     "timestamps=None, confidence=None)\n--\n\n"},
    {"find_peaks", as_method<py_find_peaks>(), kFlags,
     "find_peaks(signal, fs, refine, rate_hint=None, min_rate=40.0, max_rate=220.0, "
     "detection_threshold=0.45, window_cycles=2.5, max_rate_change=1.0)\n--\n\n"},
    {"calculate_roi", as_method<py_calculate_roi>(), kFlags,
     "calculate_roi(face, method, detector=..., container=None, force_even=False)\n--\n\n"},
    {"get_vital_info", as_method<py_get_vital_info>(), kFlags, "get_vital_info(vital_id)\n--\n\n"},
    {"compute_buffer_config", as_method<py_compute_buffer_config>(), kFlags,
     "compute_buffer_config(config)\n--\n\n"},
    {"detrend_lambda_for_cutoff", as_method<py_detrend_lambda_for_cutoff>(), kFlags,
     "detrend_lambda_for_cutoff(fs, cutoff)\n--\n\n"},
    {"moving_average_window_for_cutoff", as_method<py_moving_average_window_for_cutoff>(),
     kFlags, "moving_average_window_for_cutoff(fs, cutoff_hz, force_odd)\n--\n\n"},
};

}  // namespace

std::span<PyMethodDef> module_functions() { return kFunctions; }

}  // namespace orvane::py
