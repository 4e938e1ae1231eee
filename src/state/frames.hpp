// Buffer capacity rules and the buffer planner.
//
// file_max = floor(4320108.002700068 / (3 * s * s)) frames of edge s fit a
// fixed budget of values; a streaming batch never exceeds 150 frames.
#pragma once

#include <cstdint>
#include <span>

#include "types/types.hpp"

namespace orvane {

BufferConfig compute_buffer_config(const SessionConfig& config);

// Immutable after construction; every method may run concurrently.
class BufferPlanner {
 public:
  static constexpr double kStaleTimeoutSeconds = 5.0;
  static constexpr float kIouThreshold = 0.6f;

  explicit BufferPlanner(const BufferConfig& config) : config_(config) {}

  const BufferConfig& config() const { return config_; }

  // timestamp in seconds, the time base of the buffers' last_seen.
  BufferAction evaluate_target(const Rect& target_roi, double timestamp,
                               std::span<const BufferMetadata> active_buffers) const;

  bool is_ready(std::uint32_t count, InferenceMode mode, bool has_state, bool flush) const;

  // current_time in seconds.
  ExecutionPlan poll(std::span<const BufferMetadata> active_buffers, double current_time,
                     InferenceMode mode, bool has_state, bool flush) const;

 private:
  BufferConfig config_;
};

}  // namespace orvane
