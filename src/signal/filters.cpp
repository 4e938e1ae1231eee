// Sample-domain filters. Every result is single precision with sums taken in
// index order from zero, so that the same input always gives the same bits.
#include "signal/filters.hpp"

#include <cmath>
#include <limits>

#include "types/numeric.hpp"

namespace orvane {

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// sqrt(g^2 + kWindowCutoffTerm) / g is the length of a moving average whose
// response has fallen by 3 dB at the normalised frequency g.
constexpr float kWindowCutoffTerm = 0.196202f;
constexpr float kMinNormalisedCutoff = 1e-6f;
constexpr float kLambdaScale = 0.075f;
constexpr float kMinLambdaCutoff = 1e-5f;
constexpr float kMinStandardDeviation = 1e-6f;

// Inclusive window [lo, hi] of `half` samples each side of j, clipped to
// [0, n - 1] without overflowing for any half.
struct Window {
  std::size_t lo;
  std::size_t hi;
};
Window centred_window(std::size_t j, std::size_t n, std::uint64_t half) {
  const std::size_t lo = j > half ? j - half : 0;
  const std::size_t hi = (n - 1 - j) > half ? j + half : n - 1;
  return {lo, hi};
}

float window_mean(std::span<const float> x, Window w) {
  return ordered_mean(x.subspan(w.lo, w.hi - w.lo + 1));
}

}  // namespace

std::vector<float> interpolate_linear(std::span<const float> xp, std::span<const float> fp,
                                      std::span<const float> x) {
  // Without positions (or with mismatched ones) nothing can be interpolated.
  if (xp.size() != fp.size() || xp.empty()) return std::vector<float>(x.size(), kNaN);

  std::vector<float> out;
  out.reserve(x.size());
  const std::size_t last = xp.size() - 1;
  std::size_t k = 0;  // segment cursor; only moves forward
  for (const float q : x) {
    if (xp[0] >= q) {
      out.push_back(fp[0]);
    } else if (q >= xp[last]) {
      out.push_back(fp[last]);
    } else if (last == 0) {
      // Only a NaN query (or position) gets here: there is no segment.
      out.push_back(kNaN);
    } else {
      std::size_t j = k;
      while (j + 1 < last && q > xp[j + 1]) ++j;
      out.push_back(fp[j] + (fp[j + 1] - fp[j]) * ((q - xp[j]) / (xp[j + 1] - xp[j])));
      k = j;
    }
  }
  return out;
}

std::vector<float> standardize(std::span<const float> x) {
  std::size_t count = 0;
  float sum = 0.0f;
  for (const float v : x) {
    if (std::isfinite(v)) {
      sum += v;
      ++count;
    }
  }
  std::vector<float> out(x.size(), 0.0f);
  if (count == 0) return out;

  const float c = static_cast<float>(count);
  const float mean = sum / c;
  float squares = 0.0f;
  for (const float v : x) {
    if (std::isfinite(v)) squares += (v - mean) * (v - mean);
  }
  const float sd = std::sqrt(squares / c);
  if (sd < kMinStandardDeviation) return out;

  for (std::size_t j = 0; j < x.size(); ++j) {
    if (std::isfinite(x[j])) out[j] = (x[j] - mean) / sd;
  }
  return out;
}

std::vector<float> moving_average(std::span<const float> x, std::uint64_t window) {
  const std::size_t n = x.size();
  std::vector<float> out(n);
  if (n == 0) return out;
  const std::uint64_t half = window / 2;

  // Outputs whose window spans the whole signal share one sum over the same
  // samples in the same order, so it is computed once: bit-identical, and it
  // keeps very wide windows linear instead of quadratic.
  bool have_full = false;
  float full_mean = 0.0f;
  for (std::size_t j = 0; j < n; ++j) {
    const Window w = centred_window(j, n, half);
    if (w.lo == 0 && w.hi == n - 1) {
      if (!have_full) {
        full_mean = window_mean(x, w);
        have_full = true;
      }
      out[j] = full_mean;
    } else {
      out[j] = window_mean(x, w);
    }
  }
  return out;
}

std::uint64_t moving_average_window_for_cutoff(float fs, float cutoff_hz, bool force_odd) {
  if (fs <= 0.0f || cutoff_hz <= 0.0f) return 1;
  const float g = cutoff_hz / fs;
  if (std::fabs(g) < kMinNormalisedCutoff) return std::numeric_limits<std::uint64_t>::max();
  std::uint64_t n = to_u64(std::sqrt(g * g + kWindowCutoffTerm) / g);
  if (force_odd && n % 2 == 0 && n > 0) n -= 1;
  if (n == 0) n = 1;
  return n;
}

float detrend_lambda_for_cutoff(float fs, float cutoff) {
  if (!(cutoff > kMinLambdaCutoff)) return 0.0f;
  const float ratio = fs / cutoff;
  return kLambdaScale * (ratio * ratio);
}

namespace {

// Bands of A = I + mu * D2'D2 (D2 the second-difference operator), row i:
// the diagonal, the entry left of it and the entry two to the left.
struct BandRow {
  double diag;
  double sub1;  // A[i][i-1], unused for i = 0
  double sub2;  // A[i][i-2], unused for i < 2
};

BandRow band_row(std::size_t i, std::size_t n, double mu) {
  const double sub2 = mu;
  if (n == 3) {
    // The exact three-sample operator: D2 is the single row (1, -2, 1).
    if (i == 1) return {1.0 + 4.0 * mu, -2.0 * mu, sub2};
    return {1.0 + mu, -2.0 * mu, sub2};
  }
  const double diag = (i == 0 || i == n - 1)   ? 1.0 + mu
                      : (i == 1 || i == n - 2) ? 1.0 + 5.0 * mu
                                               : 1.0 + 6.0 * mu;
  const double sub1 = (i == 1 || i == n - 1) ? -2.0 * mu : -4.0 * mu;
  return {diag, sub1, sub2};
}

}  // namespace

// The factorisation and both substitutions run in double precision. A is
// nearly singular for the smoothing strengths in use (lambda = 750 gives
// mu = 562500 and a condition number of about 1e7), so in single precision
// the trend loses every significant digit: a constant series came back with
// residuals of tens of units and a straight line was far from flat. Only
// the returned samples are single precision.
std::vector<float> detrend(std::span<const float> x, float fs, float cutoff_hz) {
  const std::size_t n = x.size();
  if (n < 3) return std::vector<float>(n, 0.0f);
  const float lambda = detrend_lambda_for_cutoff(fs, cutoff_hz);
  const double mu = static_cast<double>(lambda) * static_cast<double>(lambda);

  // Banded Cholesky A = L L': row i of L has l0 = L[i][i], l1 = L[i][i-1]
  // and l2 = L[i][i-2]. A radicand that is not positive (including NaN, from
  // a non-finite fs or cutoff) means no usable factorisation: no trend.
  std::vector<double> l0(n), l1(n, 0.0), l2(n, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    const BandRow a = band_row(i, n, mu);
    double radicand;
    if (i == 0) {
      radicand = a.diag;
    } else if (i == 1) {
      l1[1] = a.sub1 / l0[0];
      radicand = a.diag - l1[1] * l1[1];
    } else {
      l2[i] = a.sub2 / l0[i - 2];
      l1[i] = (a.sub1 - l1[i - 1] * l2[i]) / l0[i - 1];
      radicand = a.diag - l2[i] * l2[i] - l1[i] * l1[i];
    }
    if (!(radicand > 0.0)) return std::vector<float>(x.begin(), x.end());
    l0[i] = std::sqrt(radicand);
  }

  // Forward substitution L w = x, then back substitution L' z = w, both in
  // place in `trend`.
  std::vector<double> trend(x.begin(), x.end());
  for (std::size_t i = 0; i < n; ++i) {
    double v = trend[i];
    if (i >= 2) v -= l2[i] * trend[i - 2];
    if (i >= 1) v -= l1[i] * trend[i - 1];
    trend[i] = v / l0[i];
  }
  for (std::size_t i = n; i-- > 0;) {
    double v = trend[i];
    if (i + 1 < n) v -= l1[i + 1] * trend[i + 1];
    if (i + 2 < n) v -= l2[i + 2] * trend[i + 2];
    trend[i] = v / l0[i];
  }

  std::vector<float> out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<float>(static_cast<double>(x[i]) - trend[i]);
  return out;
}

}  // namespace orvane
