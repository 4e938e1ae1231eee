// One-sided power spectrum and spectral rate estimation.
//
// P_k = |X_k|^2 with X_k = sum_j y_j e^(-2 pi i jk / nfft), k < nfft / 2, where
// y is the mean-removed (optionally Hann-windowed) signal and nfft the
// smallest power of two >= max(n, min(fs / resolution_hz, 2^20)). The rate
// is the strongest bin of the band, refined by a parabola through the magnitudes:
// rate = df * (i + delta) * 60 per minute.
#pragma once

#include <complex>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "signal/rate.hpp"

namespace orvane {

// Caller-owned scratch state reused across spectra: transform plans cached by
// length and scratch vectors that keep their capacity. One call at a time.
class SpectralWorkspace {
 public:
  SpectralWorkspace();
  ~SpectralWorkspace();
  SpectralWorkspace(SpectralWorkspace&&) noexcept;
  SpectralWorkspace& operator=(SpectralWorkspace&&) noexcept;
  SpectralWorkspace(const SpectralWorkspace&) = delete;
  SpectralWorkspace& operator=(const SpectralWorkspace&) = delete;

  // Output of the last periodogram: bin frequencies (Hz) and powers.
  std::span<const float> frequencies() const { return frequencies_; }
  std::span<const float> powers() const { return powers_; }

 private:
  friend void periodogram(std::span<const float>, float, float, bool, SpectralWorkspace&);
  struct Plans;
  std::unique_ptr<Plans> plans_;
  std::vector<float> windowed_;
  std::vector<std::complex<float>> spectrum_;
  std::vector<float> frequencies_;
  std::vector<float> powers_;
};

// Largest transform length the resolution term alone may ask for: fs /
// resolution_hz is unbounded for absurd arguments, and a transform that long
// would exhaust memory. Longer signals still get a transform covering them.
inline constexpr std::uint64_t kMaxResolutionTransformLength = std::uint64_t{1} << 20;

// Transform length for n samples: the smallest power of two that is at least
// max(n, min(trunc(fs / resolution_hz), kMaxResolutionTransformLength)).
std::uint64_t transform_length(std::size_t n, float fs, float resolution_hz);

// Fills the workspace's frequencies and powers; x sampled at fs (Hz), bin
// spacing no coarser than about resolution_hz (Hz). n <= 1 leaves both empty.
void periodogram(std::span<const float> x, float fs, float resolution_hz, bool apply_window,
                 SpectralWorkspace& workspace);

// Bins of a rate band [min_rate, max_rate] (per minute) on a spectrum of
// `bins` bins spaced df Hz: lo = floor(min_rate / 60 / df), hi =
// min(ceil(max_rate / 60 / df), bins - 1), and the half-width in bins of the
// confidence window of 5 per minute around the peak.
struct RateBins {
  std::uint64_t lo = 0;
  std::uint64_t hi = 0;
  std::uint64_t half_width = 0;
};
RateBins rate_bins(float df, std::size_t bins, float min_rate, float max_rate);

// The dominant in-band bin of a spectrum (frequencies in Hz, equally spaced),
// parabolically refined, scored by the share of band power within the
// confidence window; method "Periodogram".
RateEstimate rate_from_spectrum(std::span<const float> frequencies, std::span<const float> powers,
                                float min_rate, float max_rate);

struct RateMethod {
  enum class Kind : std::uint8_t { Periodogram, PeakDetection };
  Kind kind = Kind::Periodogram;
  float resolution_hz = 0;         // Periodogram: Hz
  bool refine = false;             // PeakDetection
  float distance_tolerance = 0;    // PeakDetection

  static constexpr RateMethod periodogram(float resolution_hz) {
    return RateMethod{Kind::Periodogram, resolution_hz, false, 0};
  }
  static constexpr RateMethod peak_detection(bool refine, float distance_tolerance) {
    return RateMethod{Kind::PeakDetection, 0, refine, distance_tolerance};
  }
};

// Rate (per minute) of `signal` sampled at fs (Hz) within [min_rate, max_rate]
// per minute. rate_hint (per minute) is read only by PeakDetection, the
// workspace only by Periodogram (a temporary one is built when null).
RateEstimate estimate_rate(std::span<const float> signal, float fs, const RateMethod& method,
                           float min_rate, float max_rate, std::optional<float> rate_hint,
                           SpectralWorkspace* workspace);

}  // namespace orvane
