// Face regions of interest and rectangle measures.
//
// Every step is single precision and in the order written: the host and both
// faces must get the same pixels from the same face box, so the arithmetic is
// not regrouped. Min and max ignore a NaN operand (nan_min / nan_max).
#include "geometry/geometry.hpp"

#include <cstdint>

#include "types/numeric.hpp"

namespace orvane {
namespace {

// Side offsets as fractions of the box: left/right of its width, top/bottom of
// its height; positive pushes that side outward.
struct Offsets {
  float left;
  float top;
  float right;
  float bottom;
};

// Apple's Vision boxes sit low and wide relative to ours: 5 % narrower on each
// side, raised by 10 % of the height at the top and extended 25 % at the bottom.
constexpr Offsets kAppleVisionToDefault{-0.05f, 0.1f, -0.05f, 0.25f};

constexpr Offsets kFaceOffsets{-0.2f, -0.1f, -0.2f, -0.1f};
constexpr Offsets kForeheadOffsets{-0.35f, -0.15f, -0.35f, -0.75f};
constexpr Offsets kUpperBodyOffsets{0.25f, 0.2f, 0.25f, 0.4f};
constexpr Offsets kUpperBodyCroppedOffsets{0.19f, 0.1455f, 0.19f, 0.2769f};

Offsets offsets_of(const RoiMethod& method) {
  switch (method.kind) {
    case RoiMethod::Kind::Face:
      return kFaceOffsets;
    case RoiMethod::Kind::Forehead:
      return kForeheadOffsets;
    case RoiMethod::Kind::UpperBody:
      return kUpperBodyOffsets;
    case RoiMethod::Kind::UpperBodyCropped:
      return kUpperBodyCroppedOffsets;
    case RoiMethod::Kind::Custom:
      return Offsets{method.left, method.top, method.right, method.bottom};
  }
  fatal("unknown RoiMethod kind", __FILE__, __LINE__);
}

Rect apply_offsets(const Rect& box, const Offsets& o) {
  const float lw = o.left * box.width;
  const float th = o.top * box.height;
  const float x = box.x - lw;
  const float y = box.y - th;
  const float grown_w = box.width + lw;
  const float grown_h = box.height + th;
  const float rw = o.right * box.width;
  const float bh = o.bottom * box.height;
  return Rect{x, y, grown_w + rw, grown_h + bh};
}

// Clips to (0, 0, cw, ch). The origin is not pulled into the container: a box
// wholly right of or below it keeps its x or y and gets a zero extent.
Rect clip_to_container(const Rect& box, float cw, float ch) {
  const float left = nan_max(box.x, 0.0f);
  const float top = nan_max(box.y, 0.0f);
  const float right = nan_min(box.x + box.width, cw);
  const float bottom = nan_min(box.y + box.height, ch);
  return Rect{left, top, nan_max(right - left, 0.0f), nan_max(bottom - top, 0.0f)};
}

// Rounded extent made even: odd sizes shrink by one (never below zero), even
// ones, negative included, stay.
float even_extent(float extent) {
  const std::int32_t v = to_i32_saturating(round_half_away(extent));
  if (v % 2 == 0) return static_cast<float>(v);
  return static_cast<float>(v - 1 > 0 ? v - 1 : 0);
}

Rect make_even(const Rect& box) {
  return Rect{round_half_away(box.x), round_half_away(box.y), even_extent(box.width),
              even_extent(box.height)};
}

// Length of the overlap of [a0, a1) and [b0, b1); negative or NaN when the
// intervals are disjoint or undefined.
float overlap_length(float a_start, float a_end, float b_start, float b_end) {
  return nan_min(a_end, b_end) - nan_max(a_start, b_start);
}

}  // namespace

Rect calculate_roi(const Rect& face, const RoiMethod& method, FaceDetector detector,
                   std::optional<float> container_width, std::optional<float> container_height,
                   bool force_even) {
  const Rect base =
      detector == FaceDetector::AppleVision ? apply_offsets(face, kAppleVisionToDefault) : face;
  Rect roi = apply_offsets(base, offsets_of(method));
  if (container_width && container_height) {
    roi = clip_to_container(roi, *container_width, *container_height);
  }
  if (force_even) roi = make_even(roi);
  return roi;
}

float compute_iou(const Rect& a, const Rect& b) {
  const float inter_h = overlap_length(a.y, a.y + a.height, b.y, b.y + b.height);
  if (inter_h <= 0.0f) return 0.0f;
  const float inter_w = overlap_length(a.x, a.x + a.width, b.x, b.x + b.width);
  if (inter_w <= 0.0f) return 0.0f;
  const float inter = inter_h * inter_w;
  const float uni = (b.width * b.height + a.width * a.height) - inter;
  if (!(uni > 0.0f)) return 0.0f;  // also catches a NaN union
  return inter / uni;
}

bool is_contained(const Rect& inner, const Rect& outer, float min_overlap_pct) {
  // nan_max turns a NaN overlap into 0.
  const float visible_w = nan_max(
      overlap_length(inner.x, inner.x + inner.width, outer.x, outer.x + outer.width), 0.0f);
  if (!(visible_w >= min_overlap_pct * inner.width)) return false;
  const float visible_h = nan_max(
      overlap_length(inner.y, inner.y + inner.height, outer.y, outer.y + outer.height), 0.0f);
  return visible_h >= min_overlap_pct * inner.height;
}

}  // namespace orvane
