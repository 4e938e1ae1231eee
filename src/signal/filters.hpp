// Stateless sample-domain filters: interpolation, z-score, centred moving
// average and smoothness-priors detrending, with the two cutoff rules.
//
// Moving-average sizing: g = cutoff / fs, N = trunc(sqrt(g^2 + 0.196202) / g)
// puts the -3 dB point of an N-sample average at the cutoff.
// Detrending: trend z solves (I + mu * D2' D2) z = x, mu = lambda^2,
// lambda = 0.075 * (fs / cutoff)^2; the result is x - z.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace orvane {

// Piecewise-linear interpolation of (xp, fp) at the queries x (non-decreasing).
// Mismatched xp/fp lengths give len(x) NaNs.
std::vector<float> interpolate_linear(std::span<const float> xp, std::span<const float> fp,
                                      std::span<const float> x);

// Z-score over the finite samples; non-finite samples give 0. A signal with no
// finite sample or a deviation below 1e-6 gives zeros.
std::vector<float> standardize(std::span<const float> x);

// Centred mean over floor(window/2) samples each side, shrinking at the ends.
std::vector<float> moving_average(std::span<const float> x, std::uint64_t window);

// Length (samples, >= 1) of a moving average whose -3 dB point is cutoff_hz;
// fs and cutoff_hz in Hz.
std::uint64_t moving_average_window_for_cutoff(float fs, float cutoff_hz, bool force_odd);

// Smoothing parameter lambda of the detrender for a cutoff (Hz) at fs (Hz).
float detrend_lambda_for_cutoff(float fs, float cutoff);

// Signal minus its smooth trend; fs and cutoff_hz in Hz. Linear in len(x).
std::vector<float> detrend(std::span<const float> x, float fs, float cutoff_hz);

}  // namespace orvane
