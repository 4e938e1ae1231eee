// Numeric rules shared by every part of the library.
//
// Signals are single precision; wherever a float becomes a count, the
// conversion truncates toward zero and saturates (NaN and negatives give 0,
// values past the range give the type's maximum). Rounding is half away from
// zero. Float minimum and maximum ignore a NaN operand. Keeping each rule in
// one place is what makes the two faces and every estimator agree bit for bit.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>
#include <type_traits>

namespace orvane {

// Truncating, saturating conversion of a float or double to an unsigned type.
// NaN and negative values give 0; values at or beyond 2^bits give the maximum.
template <typename U, typename F>
constexpr U saturating_unsigned(F value) noexcept {
  static_assert(std::is_unsigned_v<U> && std::is_floating_point_v<F>);
  if (!(value > F(0))) return U(0);  // NaN, zero and negatives
  // 2^bits is exactly representable in every floating type we use.
  constexpr long double limit =
      static_cast<long double>(std::numeric_limits<U>::max()) + 1.0L;
  if (static_cast<long double>(value) >= limit) return std::numeric_limits<U>::max();
  return static_cast<U>(value);
}

inline std::uint64_t to_u64(float value) noexcept {
  return saturating_unsigned<std::uint64_t>(value);
}
inline std::uint64_t to_u64(double value) noexcept {
  return saturating_unsigned<std::uint64_t>(value);
}
inline std::uint32_t to_u32(double value) noexcept {
  return saturating_unsigned<std::uint32_t>(value);
}

// Truncating, saturating conversion to a signed 32-bit integer: NaN gives 0.
inline std::int32_t to_i32_saturating(float value) noexcept {
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

// Round half away from zero (2.5 -> 3, -2.5 -> -3); NaN stays NaN.
inline float round_half_away(float value) noexcept { return std::round(value); }
inline double round_half_away(double value) noexcept { return std::round(value); }

// Minimum and maximum that ignore a NaN operand and return the other one.
inline float nan_min(float a, float b) noexcept { return std::fmin(a, b); }
inline float nan_max(float a, float b) noexcept { return std::fmax(a, b); }

// Single-precision sum in index order from zero. Every estimator is defined
// with this order, so its results must not depend on how the sum is formed.
inline float ordered_sum(std::span<const float> v) noexcept {
  float sum = 0.0f;
  for (const float x : v) sum += x;
  return sum;
}

// ordered_sum divided by the length; 0 for an empty span.
inline float ordered_mean(std::span<const float> v) noexcept {
  return v.empty() ? 0.0f : ordered_sum(v) / static_cast<float>(v.size());
}

// Seconds to a frame count: the product in single precision, then the
// truncating, saturating conversion.
inline std::uint64_t seconds_to_frames(float seconds, float fps) noexcept {
  return to_u64(seconds * fps);
}

// The one exit for a broken internal invariant: writes `file:line: what` to
// standard error and ends the process. There is no recovery path by design.
[[noreturn]] void fatal(std::string_view what, const char* file, int line) noexcept;

}  // namespace orvane

// Checks an internal invariant that ordinary input can never break.
#define ORVANE_ASSERT(cond)                                                    \
  do {                                                                         \
    if (!(cond)) ::orvane::fatal("assertion failed: " #cond, __FILE__, __LINE__); \
  } while (false)
