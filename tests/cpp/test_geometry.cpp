// Face ROI offsets, detector conversion, clipping, even sizes, and the two
// rectangle measures (IoU and per-axis containment), including NaN and
// negative sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <ostream>

#include "geometry/geometry.hpp"

using namespace orvane;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

const RoiMethod kFace{RoiMethod::Kind::Face};
const RoiMethod kForehead{RoiMethod::Kind::Forehead};
const RoiMethod kUpperBody{RoiMethod::Kind::UpperBody};
const RoiMethod kUpperBodyCropped{RoiMethod::Kind::UpperBodyCropped};

struct RoiCase {
  const char* name;
  Rect face;
  RoiMethod method;
  FaceDetector detector;
  std::optional<float> container_width;
  std::optional<float> container_height;
  bool force_even;
  Rect expected;
};

std::ostream& operator<<(std::ostream& os, const RoiCase& c) { return os << c.name; }

class RoiTest : public ::testing::TestWithParam<RoiCase> {};

// Results are single-precision products; four ulps absorb the distance
// between a decimal in the table and the float the arithmetic lands on.
// A NaN expectation asks for NaN.
void expect_same(float actual, float expected, const char* field) {
  if (std::isnan(expected)) {
    EXPECT_TRUE(std::isnan(actual)) << field << " = " << actual;
  } else {
    EXPECT_FLOAT_EQ(actual, expected) << field;
  }
}

TEST_P(RoiTest, MatchesExpectedBox) {
  const RoiCase& c = GetParam();
  const Rect r = calculate_roi(c.face, c.method, c.detector, c.container_width,
                               c.container_height, c.force_even);
  expect_same(r.x, c.expected.x, "x");
  expect_same(r.y, c.expected.y, "y");
  expect_same(r.width, c.expected.width, "width");
  expect_same(r.height, c.expected.height, "height");
}

constexpr auto D = FaceDetector::Default;
constexpr auto AV = FaceDetector::AppleVision;
constexpr std::nullopt_t none = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Geometry, RoiTest,
    ::testing::Values(
        RoiCase{"face", {100, 100, 200, 200}, kFace, D, none, none, false, {140, 120, 120, 160}},
        RoiCase{"forehead", {100, 100, 200, 200}, kForehead, D, none, none, false,
                {170, 130, 60, 20}},
        RoiCase{"upper_body", {100, 100, 200, 200}, kUpperBody, D, none, none, false,
                {50, 60, 300, 320}},
        RoiCase{"upper_body_cropped", {100, 100, 200, 200}, kUpperBodyCropped, D, none, none,
                false, {62, 70.9f, 276, 284.48f}},
        // Identity offsets expose the detector conversion on its own.
        RoiCase{"apple_vision_adjusted", {100, 100, 200, 200}, RoiMethod::custom(0, 0, 0, 0), AV,
                none, none, false, {110, 80, 180, 270}},
        RoiCase{"apple_vision_face", {100, 100, 200, 200}, kFace, AV, none, none, false,
                {146, 107, 108, 216}},
        RoiCase{"apple_vision_upper_body", {100, 100, 200, 200}, kUpperBody, AV, none, none,
                false, {65, 26, 270, 432}},
        RoiCase{"custom_order_ltrb", {0, 0, 100, 100}, RoiMethod::custom(0.1f, 0.2f, 0.3f, 0.4f),
                D, none, none, false, {-10, -20, 140, 160}},
        RoiCase{"clip_right_bottom", {100, 100, 100, 100}, kUpperBody, D, 150.0f, 150.0f, false,
                {75, 80, 75, 70}},
        RoiCase{"clip_left_top", {-50, -50, 100, 100}, kFace, D, 640.0f, 480.0f, false,
                {0, 0, 30, 40}},
        RoiCase{"clip_outside_keeps_origin", {700, 500, 100, 100}, kFace, D, 640.0f, 480.0f,
                false, {720, 510, 0, 0}},
        RoiCase{"only_width_no_clip", {100, 100, 100, 100}, kUpperBody, D, 150.0f, none, false,
                {75, 80, 150, 160}},
        RoiCase{"only_height_no_clip", {100, 100, 100, 100}, kUpperBody, D, none, 150.0f, false,
                {75, 80, 150, 160}},
        RoiCase{"even_face", {10.4f, 20.5f, 61, 43}, kFace, D, none, none, true,
                {23, 25, 36, 34}},
        RoiCase{"even_odd_sizes_shrink", {0, 0, 101, 99}, RoiMethod::custom(0, 0, 0, 0), D, none,
                none, true, {0, 0, 100, 98}},
        RoiCase{"even_one_becomes_zero", {-2.5f, 2.5f, 1.2f, 0.6f}, RoiMethod::custom(0, 0, 0, 0),
                D, none, none, true, {-3, 3, 0, 0}},
        RoiCase{"even_negative", {0, 0, -3, -4}, RoiMethod::custom(0, 0, 0, 0), D, none, none,
                true, {0, 0, 0, -4}},
        // Saturation to the int32 range; NaN (0 * NaN reaches y as well) gives 0.
        RoiCase{"even_saturates", {0, 0, -1e10f, kNaN}, RoiMethod::custom(0, 0, 0, 0), D, none,
                none, true, {0, kNaN, -2147483648.0f, 0}},
        RoiCase{"even_after_clip", {-50.3f, 0, 100.9f, 100}, RoiMethod::custom(0, 0, 0, 0), D,
                640.0f, 480.0f, true, {0, 0, 50, 100}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Geometry, ClipIgnoresNaNContainer) {
  // A NaN container edge is ignored by the minimum, so that axis is unclipped.
  const Rect r = calculate_roi({100, 100, 100, 100}, kUpperBody, D, kNaN, 150.0f, false);
  EXPECT_FLOAT_EQ(r.width, 150);
  EXPECT_FLOAT_EQ(r.height, 70);
}

struct IouCase {
  const char* name;
  Rect a;
  Rect b;
  float expected;
};

std::ostream& operator<<(std::ostream& os, const IouCase& c) { return os << c.name; }

class IouTest : public ::testing::TestWithParam<IouCase> {};

TEST_P(IouTest, MatchesAndIsSymmetric) {
  const IouCase& c = GetParam();
  EXPECT_NEAR(compute_iou(c.a, c.b), c.expected, 1e-6f);
  EXPECT_NEAR(compute_iou(c.b, c.a), c.expected, 1e-6f);
}

INSTANTIATE_TEST_SUITE_P(
    Geometry, IouTest,
    ::testing::Values(
        IouCase{"identical", {3, 4, 10, 20}, {3, 4, 10, 20}, 1.0f},
        IouCase{"quarter_overlap", {0, 0, 10, 10}, {5, 5, 10, 10}, 25.0f / 175.0f},
        IouCase{"shifted_two", {0, 0, 10, 10}, {2, 0, 10, 10}, 80.0f / 120.0f},
        IouCase{"contained", {0, 0, 10, 10}, {2, 2, 5, 5}, 25.0f / 100.0f},
        IouCase{"touching_edge", {0, 0, 10, 10}, {10, 0, 10, 10}, 0.0f},
        IouCase{"touching_corner", {0, 0, 10, 10}, {10, 10, 10, 10}, 0.0f},
        IouCase{"disjoint", {0, 0, 10, 10}, {50, 50, 10, 10}, 0.0f},
        IouCase{"zero_size_identical", {5, 5, 0, 0}, {5, 5, 0, 0}, 0.0f},
        IouCase{"negative_size_identical", {5, 5, -10, -10}, {5, 5, -10, -10}, 0.0f},
        IouCase{"negative_width_vs_positive", {10, 0, -10, 10}, {0, 0, 10, 10}, 0.0f},
        IouCase{"nan_width_gives_zero", {0, 0, kNaN, 10}, {0, 0, 10, 10}, 0.0f},
        IouCase{"nan_everything", {kNaN, kNaN, kNaN, kNaN}, {0, 0, 10, 10}, 0.0f},
        // A NaN edge drops out of min/max, so the other box's edge stands in.
        IouCase{"nan_origin_ignored", {kNaN, 0, 10, 10}, {0, 0, 10, 10}, 1.0f},
        IouCase{"infinite_union", {0, 0, kInf, 10}, {0, 0, 10, 10}, 0.0f}),
    [](const auto& info) { return std::string(info.param.name); });

struct ContainCase {
  const char* name;
  Rect inner;
  Rect outer;
  float pct;
  bool expected;
};

std::ostream& operator<<(std::ostream& os, const ContainCase& c) { return os << c.name; }

class ContainTest : public ::testing::TestWithParam<ContainCase> {};

TEST_P(ContainTest, Matches) {
  const ContainCase& c = GetParam();
  EXPECT_EQ(is_contained(c.inner, c.outer, c.pct), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Geometry, ContainTest,
    ::testing::Values(
        ContainCase{"half_width_at_half", {0, 0, 10, 10}, {5, 0, 100, 100}, 0.5f, true},
        ContainCase{"half_width_at_0_6", {0, 0, 10, 10}, {5, 0, 100, 100}, 0.6f, false},
        ContainCase{"per_axis_not_area", {0, 0, 10, 10}, {4, 4, 100, 100}, 0.5f, true},
        ContainCase{"height_fails_alone", {0, 0, 10, 10}, {0, 8, 100, 100}, 0.5f, false},
        ContainCase{"zero_size_inner", {500, 500, 0, 0}, {0, 0, 10, 10}, 0.9f, true},
        ContainCase{"p_zero_disjoint", {0, 0, 10, 10}, {50, 50, 10, 10}, 0.0f, true},
        ContainCase{"p_negative_disjoint", {0, 0, 10, 10}, {50, 50, 10, 10}, -1.0f, true},
        ContainCase{"p_above_one_inside", {2, 2, 1, 1}, {0, 0, 10, 10}, 1.01f, false},
        ContainCase{"fully_inside_p_one", {2, 2, 1, 1}, {0, 0, 10, 10}, 1.0f, true},
        // Negative sizes: the visible part clamps to 0, which reaches any
        // negative requirement.
        ContainCase{"negative_inner", {0, 0, -10, -10}, {0, 0, 100, 100}, 0.5f, true},
        // p * width turns positive when both are negative, so p <= 0 is not
        // enough for an inner box of negative size.
        ContainCase{"negative_inner_negative_p", {0, 0, -10, -10}, {0, 0, 100, 100}, -1.0f, false},
        ContainCase{"negative_outer", {0, 0, 10, 10}, {10, 10, -10, -10}, 0.5f, false},
        ContainCase{"nan_pct", {0, 0, 10, 10}, {0, 0, 10, 10}, kNaN, false},
        ContainCase{"nan_inner_width", {0, 0, kNaN, 10}, {0, 0, 10, 10}, 0.5f, false},
        ContainCase{"nan_inner_height", {0, 0, 10, kNaN}, {0, 0, 10, 10}, 0.5f, false},
        ContainCase{"nan_outer_origin_ignored", {0, 0, 10, 10}, {kNaN, kNaN, 10, 10}, 1.0f, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
