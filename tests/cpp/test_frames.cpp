// Buffer capacity rules and the planner: matching targets to buffers,
// readiness, and which buffer runs and which are dropped, including NaN times.
#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "state/frames.hpp"

using namespace orvane;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::uint32_t kU32Max = std::numeric_limits<std::uint32_t>::max();

// ---- compute_buffer_config --------------------------------------------------

struct ConfigCase {
  const char* name;
  std::uint64_t input_size;
  std::uint64_t n_inputs;
  BufferConfig expected;  // min_no_state, min_with_state, stream_max, file_max, overlap
};

std::ostream& operator<<(std::ostream& os, const ConfigCase& c) { return os << c.name; }

class BufferConfigTest : public ::testing::TestWithParam<ConfigCase> {};

TEST_P(BufferConfigTest, Matches) {
  const ConfigCase& c = GetParam();
  SessionConfig config;
  config.model_name = "any";
  config.fps_target = 30;
  config.input_size = c.input_size;
  config.n_inputs = c.n_inputs;
  const BufferConfig got = compute_buffer_config(config);
  EXPECT_EQ(got.min_no_state, c.expected.min_no_state);
  EXPECT_EQ(got.min_with_state, c.expected.min_with_state);
  EXPECT_EQ(got.stream_max, c.expected.stream_max);
  EXPECT_EQ(got.file_max, c.expected.file_max);
  EXPECT_EQ(got.overlap, c.expected.overlap);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, BufferConfigTest,
    ::testing::Values(
        ConfigCase{"s40_n4", 40, 4, {16, 4, 150, 900, 3}},
        ConfigCase{"s48", 48, 4, {16, 4, 150, 625, 3}},
        ConfigCase{"s64", 64, 4, {16, 4, 150, 351, 3}},
        ConfigCase{"s96", 96, 4, {16, 4, 150, 156, 3}},
        ConfigCase{"s112", 112, 4, {16, 4, 114, 114, 3}},
        ConfigCase{"s128", 128, 4, {16, 4, 87, 87, 3}},
        ConfigCase{"s0_unlimited", 0, 4, {16, 4, 150, kU32Max, 3}},
        ConfigCase{"s1", 1, 4, {16, 4, 150, 1440036, 3}},
        ConfigCase{"n0", 40, 0, {16, 0, 150, 900, 0}},
        ConfigCase{"n20", 40, 20, {20, 20, 150, 900, 19}},
        // Largest exact edge: the frame alone exceeds the budget.
        ConfigCase{"s37837", 37837, 4, {16, 4, 0, 0, 3}},
        // Past it the u32 product wraps (3*37838^2 mod 2^32 = 175436; 3*2^32 mod 2^32 = 0).
        ConfigCase{"s37838_wraps", 37838, 4, {16, 4, 24, 24, 3}},
        ConfigCase{"s65536_wraps_to_zero", 65536, 4, {16, 4, 150, kU32Max, 3}},
        // Only the low 32 bits of either field count.
        ConfigCase{"high_bits_ignored", (std::uint64_t{1} << 32) + 40, (std::uint64_t{7} << 32) + 20,
                   {20, 20, 150, 900, 19}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the planner ------------------------------------------------------------

// input size 40, 4 inputs
constexpr BufferConfig kConfig{16, 4, 150, 900, 3};

BufferMetadata buffer(std::string id, std::uint32_t count, double created_at, double last_seen,
                      Rect roi = {0, 0, 10, 10}) {
  return BufferMetadata{std::move(id), roi, count, created_at, last_seen};
}

TEST(Frames, IsReady) {
  const BufferPlanner planner(kConfig);
  constexpr auto S = InferenceMode::Stream;
  constexpr auto F = InferenceMode::File;
  struct Case {
    std::uint32_t count;
    InferenceMode mode;
    bool has_state;
    bool flush;
    bool ready;
  };
  const Case cases[] = {
      {3, S, true, false, false},    {4, S, true, false, true},
      {10, S, false, false, false},  {16, S, false, false, true},
      {16, F, false, false, false},  {16, F, false, true, true},
      {899, F, false, false, false}, {900, F, false, false, true},
      {3, F, true, true, false},  // flushing does not lift the minimum
      {kU32Max, S, false, false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(planner.is_ready(c.count, c.mode, c.has_state, c.flush), c.ready)
        << "count " << c.count << " file " << (c.mode == F) << " state " << c.has_state
        << " flush " << c.flush;
  }
}

struct TargetCase {
  const char* name;
  Rect target;
  double timestamp;
  std::vector<BufferMetadata> buffers;
  std::optional<std::string> matched;  // KeepAlive with this id; Create when absent
};

std::ostream& operator<<(std::ostream& os, const TargetCase& c) { return os << c.name; }

class EvaluateTargetTest : public ::testing::TestWithParam<TargetCase> {};

TEST_P(EvaluateTargetTest, Matches) {
  const TargetCase& c = GetParam();
  const BufferAction a = BufferPlanner(kConfig).evaluate_target(c.target, c.timestamp, c.buffers);
  if (c.matched) {
    EXPECT_EQ(a.action, BufferActionType::KeepAlive);
    EXPECT_EQ(a.matched_id, c.matched);
    EXPECT_FALSE(a.roi.has_value());
  } else {
    EXPECT_EQ(a.action, BufferActionType::Create);
    EXPECT_FALSE(a.matched_id.has_value());
    ASSERT_TRUE(a.roi.has_value());
    EXPECT_EQ(a.roi->x, c.target.x);
    EXPECT_EQ(a.roi->y, c.target.y);
    EXPECT_EQ(a.roi->width, c.target.width);
    EXPECT_EQ(a.roi->height, c.target.height);
  }
}

const Rect kTarget{0, 0, 10, 10};

INSTANTIATE_TEST_SUITE_P(
    Frames, EvaluateTargetTest,
    ::testing::Values(
        TargetCase{"no_buffers", {1, 2, 3, 4}, 10.0, {}, std::nullopt},
        TargetCase{"seen_exactly_5s_ago", kTarget, 10.0, {buffer("a", 1, 0, 5.0)}, "a"},
        TargetCase{"seen_5_001s_ago", kTarget, 10.0, {buffer("a", 1, 0, 4.999)}, std::nullopt},
        TargetCase{"iou_two_thirds", kTarget, 10.0, {buffer("a", 1, 0, 10, {2, 0, 10, 10})}, "a"},
        TargetCase{"iou_one_third", kTarget, 10.0, {buffer("a", 1, 0, 10, {5, 0, 10, 10})},
                   std::nullopt},
        TargetCase{"iou_exactly_threshold", kTarget, 10.0,
                   {buffer("a", 1, 0, 10, {0, 0, 10, 6})}, "a"},
        TargetCase{"tie_keeps_earlier", kTarget, 10.0,
                   {buffer("first", 1, 0, 10), buffer("second", 1, 0, 10)}, "first"},
        TargetCase{"best_not_first", kTarget, 10.0,
                   {buffer("far", 1, 0, 10, {2, 0, 10, 10}), buffer("near", 1, 0, 10)}, "near"},
        TargetCase{"stale_skipped", kTarget, 10.0,
                   {buffer("stale", 1, 0, 1.0), buffer("fresh", 1, 0, 10, {2, 0, 10, 10})},
                   "fresh"},
        TargetCase{"only_stale", kTarget, 10.0, {buffer("stale", 1, 0, 1.0)}, std::nullopt},
        // NaN ages are never stale, NaN overlaps never win.
        TargetCase{"nan_timestamp_not_stale", kTarget, kNaN, {buffer("a", 1, 0, 0)}, "a"},
        TargetCase{"nan_last_seen_not_stale", kTarget, 100.0, {buffer("a", 1, 0, kNaN)}, "a"},
        TargetCase{"nan_roi_never_matches", kTarget, 10.0,
                   {buffer("a", 1, 0, 10, {0, 0, static_cast<float>(kNaN), 10})}, std::nullopt},
        TargetCase{"negative_target_size", {10, 10, -10, -10}, 10.0,
                   {buffer("a", 1, 0, 10, {10, 10, -10, -10})}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

struct PollCase {
  const char* name;
  BufferConfig config;
  std::vector<BufferMetadata> buffers;
  double now;
  InferenceMode mode;
  bool has_state;
  bool flush;
  std::optional<InferenceCommand> command;
  std::vector<std::string> drop;
};

std::ostream& operator<<(std::ostream& os, const PollCase& c) { return os << c.name; }

class PollTest : public ::testing::TestWithParam<PollCase> {};

TEST_P(PollTest, Matches) {
  const PollCase& c = GetParam();
  const ExecutionPlan plan =
      BufferPlanner(c.config).poll(c.buffers, c.now, c.mode, c.has_state, c.flush);
  ASSERT_EQ(plan.command.has_value(), c.command.has_value());
  if (c.command) {
    EXPECT_EQ(plan.command->buffer_id, c.command->buffer_id);
    EXPECT_EQ(plan.command->take_count, c.command->take_count);
    EXPECT_EQ(plan.command->keep_count, c.command->keep_count);
  }
  EXPECT_EQ(plan.buffers_to_drop, c.drop);
}

constexpr auto S = InferenceMode::Stream;
constexpr auto F = InferenceMode::File;
using Cmd = InferenceCommand;
using Ids = std::vector<std::string>;
constexpr std::nullopt_t kNoCommand = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Frames, PollTest,
    ::testing::Values(
        PollCase{"empty", kConfig, {}, 10, S, true, false, kNoCommand, {}},
        PollCase{"stream_caps_at_stream_max", kConfig, {buffer("a", 200, 1, 10)}, 10, S, true,
                 false, Cmd{"a", 150, 3}, {}},
        PollCase{"flush_caps_at_file_max", kConfig, {buffer("a", 200, 1, 10)}, 10, S, false, true,
                 Cmd{"a", 200, 3}, {}},
        PollCase{"file_waits_for_full_batch", kConfig, {buffer("a", 500, 1, 10)}, 10, F, false,
                 false, kNoCommand, {}},
        PollCase{"file_flush_takes_all", kConfig, {buffer("a", 500, 1, 10)}, 10, F, false, true,
                 Cmd{"a", 500, 3}, {}},
        PollCase{"file_full_takes_file_max", kConfig, {buffer("a", 1000, 1, 10)}, 10, F, false,
                 false, Cmd{"a", 900, 3}, {}},
        PollCase{"keep_limited_by_take", BufferConfig{16, 1, 150, 900, 3},
                 {buffer("a", 2, 1, 10)}, 10, S, true, false, Cmd{"a", 2, 2}, {}},
        PollCase{"newest_ready_supersedes_older",
                 kConfig,
                 {buffer("A", 50, 1.0, 10), buffer("B", 30, 2.0, 10), buffer("C", 2, 3.0, 10)},
                 10, S, true, false, Cmd{"B", 30, 3}, Ids{"A"}},
        // O is listed before the stale S but dropped after it; S is full and
        // the newest, yet never commanded.
        PollCase{"stale_first_then_superseded",
                 kConfig,
                 {buffer("O", 1, 1.0, 10), buffer("S", 900, 9.0, 1.0), buffer("R", 20, 2.0, 10)},
                 10, S, true, false, Cmd{"R", 20, 3}, Ids{"S", "O"}},
        PollCase{"no_ready_drops_only_stale",
                 kConfig,
                 {buffer("x", 1, 1, 10), buffer("s1", 1, 0, 2), buffer("y", 2, 3, 10),
                  buffer("s2", 100, 0, 4.9)},
                 10, S, true, false, kNoCommand, Ids{"s1", "s2"}},
        PollCase{"stale_boundary_is_strict", kConfig, {buffer("a", 20, 1, 5.0)}, 10, S, true,
                 false, Cmd{"a", 20, 3}, {}},
        PollCase{"equal_creation_first_wins_none_dropped",
                 kConfig,
                 {buffer("a", 20, 2.0, 10), buffer("b", 30, 2.0, 10)},
                 10, S, true, false, Cmd{"a", 20, 3}, {}},
        // A stale buffer's id bars every buffer of that id; superseded ids are
        // listed once.
        PollCase{"shared_ids",
                 kConfig,
                 {buffer("dup", 5, 1.0, 1.0), buffer("dup", 50, 3.0, 10), buffer("old", 1, 0.5, 10),
                  buffer("old", 1, 0.7, 10), buffer("new", 10, 2.0, 10)},
                 10, S, true, false, Cmd{"new", 10, 3}, Ids{"dup", "old"}},
        // NaN times: never stale, never the newest, never superseded.
        PollCase{"nan_now_nothing_stale", kConfig, {buffer("a", 20, 1, -100)}, kNaN, S, true,
                 false, Cmd{"a", 20, 3}, {}},
        PollCase{"nan_last_seen_not_stale", kConfig, {buffer("a", 20, 1, kNaN)}, 10, S, true,
                 false, Cmd{"a", 20, 3}, {}},
        PollCase{"nan_created_loses_to_numbers",
                 kConfig,
                 {buffer("n", 20, kNaN, 10), buffer("b", 20, 2.0, 10), buffer("c", 20, 1.0, 10)},
                 10, S, true, false, Cmd{"b", 20, 3}, Ids{"c"}},
        PollCase{"nan_created_only_candidate_drops_nothing",
                 kConfig,
                 {buffer("old", 1, 0.0, 10), buffer("n", 20, kNaN, 10)},
                 10, S, true, false, Cmd{"n", 20, 3}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
