// Buffer capacity rules and the buffer planner.
//
//   p = 3 * s * s            values in one frame of edge s (u32 product)
//   file_max = clamp(floor(4320108.002700068 / p), 0, 2^32 - 1)
//   stream_max = min(file_max, 150)
//
// The planner compares host time stamps. Every comparison is written so that
// a NaN time answers "no": a NaN age is not stale, a NaN creation time is
// never the newest and never older than another, so a broken time stamp can
// neither pick nor drop a buffer on its own.
#include "state/frames.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "geometry/geometry.hpp"
#include "types/numeric.hpp"

namespace orvane {
namespace {

// Values (pixels x channels) that one inference may span across all frames.
constexpr double kFrameValueBudget = 4320108.002700068;
constexpr std::uint32_t kStreamBatchLimit = 150;
constexpr std::uint32_t kMinFramesWithoutState = 16;

bool is_stale(double now, double last_seen) {
  return now - last_seen > BufferPlanner::kStaleTimeoutSeconds;
}

bool contains(const std::vector<std::string>& ids, std::string_view id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// True when `a` must come before `b` in a newest-first order. A NaN creation
// time ranks after every number, so this is a strict weak ordering; equal
// times (and two NaNs) are equivalent and keep list order.
bool created_later(double a, double b) {
  if (std::isnan(a)) return false;
  if (std::isnan(b)) return true;
  return a > b;
}

}  // namespace

BufferConfig compute_buffer_config(const SessionConfig& config) {
  // Both fields are reduced to their low 32 bits. Past an edge of 37837 the
  // u32 product wraps: the result is file_max for p = 3*s*s mod 2^32 (for
  // example s = 65536 wraps to p = 0, which reads as an unlimited budget).
  const auto n = static_cast<std::uint32_t>(config.n_inputs);
  const auto s = static_cast<std::uint32_t>(config.input_size);

  BufferConfig out;
  out.min_with_state = n;
  out.min_no_state = std::max(n, kMinFramesWithoutState);
  out.overlap = n == 0 ? 0 : n - 1;

  const std::uint32_t p = 3u * s * s;
  const double q = std::floor(kFrameValueBudget / static_cast<double>(p));  // p = 0: +inf
  out.file_max = to_u32(q);
  out.stream_max = std::min(out.file_max, kStreamBatchLimit);
  return out;
}

BufferAction BufferPlanner::evaluate_target(const Rect& target_roi, double timestamp,
                                            std::span<const BufferMetadata> active_buffers) const {
  float best_iou = -1.0f;
  const BufferMetadata* best = nullptr;
  for (const BufferMetadata& buffer : active_buffers) {
    if (is_stale(timestamp, buffer.last_seen)) continue;
    const float iou = compute_iou(target_roi, buffer.roi);
    if (iou > best_iou) {  // strict: ties keep the earlier buffer, NaN never wins
      best_iou = iou;
      best = &buffer;
    }
  }

  BufferAction action;
  if (best != nullptr && best_iou >= kIouThreshold) {
    action.action = BufferActionType::KeepAlive;
    action.matched_id = best->id;
  } else {
    action.action = BufferActionType::Create;
    action.roi = target_roi;
  }
  return action;
}

bool BufferPlanner::is_ready(std::uint32_t count, InferenceMode mode, bool has_state,
                             bool flush) const {
  const std::uint32_t min_frames = has_state ? config_.min_with_state : config_.min_no_state;
  if (count < min_frames) return false;
  // Recorded input waits for a full batch unless the host is flushing.
  if (mode == InferenceMode::File && !flush) return count >= config_.file_max;
  return true;
}

ExecutionPlan BufferPlanner::poll(std::span<const BufferMetadata> active_buffers,
                                  double current_time, InferenceMode mode, bool has_state,
                                  bool flush) const {
  ExecutionPlan plan;
  std::vector<std::string>& drop = plan.buffers_to_drop;
  for (const BufferMetadata& buffer : active_buffers) {
    if (is_stale(current_time, buffer.last_seen)) drop.push_back(buffer.id);
  }

  // The newest ready buffer, the first in list order among equals: the head
  // of a stable newest-first sort of the candidates.
  const BufferMetadata* chosen = nullptr;
  for (const BufferMetadata& buffer : active_buffers) {
    if (!is_ready(buffer.count, mode, has_state, flush) || contains(drop, buffer.id)) continue;
    if (chosen == nullptr || created_later(buffer.created_at, chosen->created_at)) {
      chosen = &buffer;
    }
  }
  if (chosen == nullptr) return plan;

  const std::uint32_t cap =
      (mode == InferenceMode::File || flush) ? config_.file_max : config_.stream_max;
  InferenceCommand command;
  command.buffer_id = chosen->id;
  command.take_count = std::min(chosen->count, cap);
  command.keep_count = std::min(command.take_count, config_.overlap);

  // Buffers created before the chosen one are superseded by it, ready or not.
  for (const BufferMetadata& buffer : active_buffers) {
    if (buffer.created_at < chosen->created_at && !contains(drop, buffer.id)) {
      drop.push_back(buffer.id);
    }
  }
  plan.command = std::move(command);
  return plan;
}

}  // namespace orvane
