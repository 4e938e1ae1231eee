// One-sided power spectrum and the spectral rate estimator.
//
// The transformed sequence is real, so a real-input transform of nfft points
// (a complex transform of nfft / 2 points plus a split step) gives the same
// bins X_0 .. X_{nfft/2 - 1} as the complex transform of the zero-imaginary
// sequence at about half the cost. KissFFT packs its output as: element 0
// holds X_0 in its real part and the Nyquist bin X_{nfft/2} in its imaginary
// part; element k (1 <= k < nfft/2) holds X_k. The Nyquist bin is not part of
// the spectrum, so bin 0's power is the square of element 0's real part alone.
#include "signal/fft.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <numbers>

#include <kissfft.hh>

#include "signal/peaks.hpp"
#include "types/numeric.hpp"

namespace orvane {

namespace {

// Building a plan costs one complex exponential per point, more than a
// transform; temporary workspaces (one per LF/HF metric, one per call without
// a workspace) would pay it every time. The lengths of the library's own
// spectra (nfft 4096: respiration and LF/HF; 8192 and 16384: heart rate at
// common camera rates) are therefore built once per process on first use and
// never change afterwards; a workspace copies one instead of building it.
const kissfft<float>* shared_plan(std::size_t length) {
  switch (length) {
    case 2048: {
      static const kissfft<float> plan(2048, false);
      return &plan;
    }
    case 4096: {
      static const kissfft<float> plan(4096, false);
      return &plan;
    }
    case 8192: {
      static const kissfft<float> plan(8192, false);
      return &plan;
    }
    default:
      return nullptr;
  }
}

}  // namespace

// Forward transform plans keyed by their complex length (nfft / 2). A plan
// never changes once built, so a cached one serves every later call.
struct SpectralWorkspace::Plans {
  std::map<std::size_t, kissfft<float>> by_length;

  const kissfft<float>& get(std::size_t length) {
    auto it = by_length.find(length);
    if (it == by_length.end()) {
      const kissfft<float>* shared = shared_plan(length);
      it = by_length.emplace(length, shared ? *shared : kissfft<float>(length, false)).first;
    }
    return it->second;
  }
};

SpectralWorkspace::SpectralWorkspace() : plans_(std::make_unique<Plans>()) {}
SpectralWorkspace::~SpectralWorkspace() = default;
SpectralWorkspace::SpectralWorkspace(SpectralWorkspace&&) noexcept = default;
SpectralWorkspace& SpectralWorkspace::operator=(SpectralWorkspace&&) noexcept = default;

namespace {

// 1/12 Hz (5 per minute) each side of the peak counts towards confidence.
constexpr float kConfidenceHalfWidthHz = 0.083333336f;
constexpr float kMinParabolaCurvature = 1e-9f;

// PeakDetection runs the detector with a strict threshold and no smoothing
// (the other options keep their defaults).
constexpr float kPeakRateThreshold = 1.0f;

constexpr RateEstimate no_estimate(std::string_view method) { return {method, 0.0f, 0.0f}; }

float hann(std::size_t j, std::size_t n) {
  const float phase = 2.0f * std::numbers::pi_v<float> * static_cast<float>(j) /
                      static_cast<float>(n - 1);
  return 0.5f * (1.0f - std::cos(phase));
}

RateEstimate spectral_rate(std::span<const float> signal, float fs, float resolution_hz,
                           float min_rate, float max_rate, SpectralWorkspace& workspace) {
  periodogram(signal, fs, resolution_hz, true, workspace);
  return rate_from_spectrum(workspace.frequencies(), workspace.powers(), min_rate, max_rate);
}

RateEstimate detected_rate(std::span<const float> signal, float fs, const RateMethod& method,
                           float min_rate, float max_rate, std::optional<float> rate_hint) {
  const PeakOptions options{.rate_hint = rate_hint,
                            .fs = fs,
                            .min_rate = min_rate,
                            .max_rate = max_rate,
                            .detection_threshold = kPeakRateThreshold,
                            .distance_tolerance = method.distance_tolerance,
                            .refine = method.refine,
                            .smooth = false};
  const std::vector<PeakSequence> sequences = find_peaks(signal, options);
  return estimate_rate_from_detections(sequences, {}, {}, fs);
}

}  // namespace

std::uint64_t transform_length(std::size_t n, float fs, float resolution_hz) {
  const std::uint64_t by_resolution =
      std::min(to_u64(fs / resolution_hz), kMaxResolutionTransformLength);
  return std::bit_ceil(std::max<std::uint64_t>(n, by_resolution));
}

void periodogram(std::span<const float> x, float fs, float resolution_hz, bool apply_window,
                 SpectralWorkspace& ws) {
  ws.frequencies_.clear();
  ws.powers_.clear();
  const std::size_t n = x.size();
  if (n <= 1) return;

  const float mean = ordered_mean(x);

  // assign() within the existing capacity reuses the storage.
  const std::size_t nfft = transform_length(n, fs, resolution_hz);
  ws.windowed_.assign(nfft, 0.0f);
  for (std::size_t j = 0; j < n; ++j) {
    const float centred = x[j] - mean;
    ws.windowed_[j] = apply_window ? hann(j, n) * centred : centred;
  }

  const std::size_t bins = nfft / 2;
  ws.spectrum_.resize(bins);
  if (!ws.plans_) ws.plans_ = std::make_unique<SpectralWorkspace::Plans>();
  ws.plans_->get(bins).transform_real(ws.windowed_.data(), ws.spectrum_.data());

  const float df = fs / static_cast<float>(nfft);
  ws.frequencies_.resize(bins);
  ws.powers_.resize(bins);
  for (std::size_t k = 0; k < bins; ++k) {
    const float re = ws.spectrum_[k].real();
    const float im = k == 0 ? 0.0f : ws.spectrum_[k].imag();  // element 0 carries Nyquist
    ws.frequencies_[k] = df * static_cast<float>(k);
    ws.powers_[k] = re * re + im * im;
  }
}

RateBins rate_bins(float df, std::size_t bins, float min_rate, float max_rate) {
  RateBins out;
  out.lo = to_u64(std::floor((min_rate / 60.0f) / df));
  out.hi = std::min<std::uint64_t>(to_u64(std::ceil((max_rate / 60.0f) / df)), bins - 1);
  out.half_width = to_u64(std::ceil(kConfidenceHalfWidthHz / df));
  return out;
}

RateEstimate rate_from_spectrum(std::span<const float> frequencies, std::span<const float> powers,
                                float min_rate, float max_rate) {
  const std::size_t bins = std::min(frequencies.size(), powers.size());
  if (bins < 2) return no_estimate(kPeriodogram);
  const float df = frequencies[1] - frequencies[0];
  const RateBins band = rate_bins(df, bins, min_rate, max_rate);
  if (band.lo >= band.hi) return no_estimate(kPeriodogram);

  // Band power and the first bin holding the largest power (ties keep the
  // lower bin; NaN powers never win).
  float band_power = 0.0f;
  float peak_power = -1.0f;
  std::size_t i = band.lo;
  for (std::size_t k = band.lo; k <= band.hi; ++k) {
    band_power += powers[k];
    if (powers[k] > peak_power) {
      peak_power = powers[k];
      i = k;
    }
  }
  if (!(peak_power > 0.0f) || i == 0 || i >= bins - 1) return no_estimate(kPeriodogram);

  // Vertex of the parabola through the magnitudes of the peak and its
  // neighbours, at most half a bin away.
  const float l = std::sqrt(powers[i - 1]);
  const float p = std::sqrt(powers[i]);
  const float r = std::sqrt(powers[i + 1]);
  const float d = 2.0f * (l - 2.0f * p + r);
  const float delta =
      std::fabs(d) > kMinParabolaCurvature ? nan_min(nan_max((l - r) / d, -0.5f), 0.5f) : 0.0f;

  const std::uint64_t h = band.half_width;
  const std::size_t from = std::max<std::uint64_t>(i > h ? i - h : 0, band.lo);
  const std::size_t to = std::min<std::uint64_t>(h > band.hi - i ? band.hi : i + h, band.hi);
  float window_power = 0.0f;
  for (std::size_t k = from; k <= to; ++k) window_power += powers[k];
  const float confidence = band_power > 0.0f ? nan_min(window_power / band_power, 1.0f) : 0.0f;

  return {kPeriodogram, df * (static_cast<float>(i) + delta) * 60.0f, confidence};
}

RateEstimate estimate_rate(std::span<const float> signal, float fs, const RateMethod& method,
                           float min_rate, float max_rate, std::optional<float> rate_hint,
                           SpectralWorkspace* workspace) {
  if (method.kind == RateMethod::Kind::PeakDetection) {
    return detected_rate(signal, fs, method, min_rate, max_rate, rate_hint);
  }
  if (workspace) {
    return spectral_rate(signal, fs, method.resolution_hz, min_rate, max_rate, *workspace);
  }
  SpectralWorkspace temporary;
  return spectral_rate(signal, fs, method.resolution_hz, min_rate, max_rate, temporary);
}

}  // namespace orvane
