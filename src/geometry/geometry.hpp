// Face regions of interest and rectangle measures.
//
// Offset rule, for a box (x, y, w, h) and offsets (l, t, r, b) given as
// fractions of the width (l, r) or height (t, b), positive growing the box:
//   x' = x - l*w,  y' = y - t*h,  w' = (w + l*w) + r*w,  h' = (h + t*h) + b*h
// All arithmetic is single precision in exactly this order.
#pragma once

#include <optional>

#include "types/types.hpp"

namespace orvane {

// ROI of `face` (pixels) for `method`, after converting the detector's box
// convention. Clips to (0, 0, container_width, container_height) only when
// both container values are present; `force_even` rounds and evens the size.
Rect calculate_roi(const Rect& face, const RoiMethod& method, FaceDetector detector,
                   std::optional<float> container_width, std::optional<float> container_height,
                   bool force_even);

// Intersection over union, in [0, 1] for boxes of non-negative size; 0 when
// the boxes do not overlap or the union is not positive.
float compute_iou(const Rect& a, const Rect& b);

// True when the visible part of `inner` inside `outer` covers at least the
// fraction `min_overlap_pct` (0..1) of inner's width and, separately, of its height.
bool is_contained(const Rect& inner, const Rect& outer, float min_overlap_pct);

}  // namespace orvane
