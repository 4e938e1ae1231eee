// The twelve operations of the C interface, one descriptor each: kind, name,
// argument names and types (in parameter order), result type, published
// documentation, and how to call the core. The entry points, their
// conversion-failure messages and the interface-description blobs all read
// these descriptors, so an argument's name is written exactly once.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "ffi/describe.hpp"
#include "geometry/geometry.hpp"
#include "registry/registry.hpp"
#include "state/frames.hpp"
#include "state/session.hpp"
#include "types/types.hpp"

namespace orvane::ffi::ops {

enum class Kind { Function, Method, Constructor };

// ---- Functions ------------------------------------------------------------------

struct CalculateRoi {
  static constexpr Kind kind = Kind::Function;
  static constexpr std::string_view name = "calculate_roi";
  using Args =
      std::tuple<Rect, RoiMethod, FaceDetector, std::optional<float>, std::optional<float>, bool>;
  static constexpr std::array<std::string_view, 6> arg_names = {
      "face", "method", "detector", "container_width", "container_height", "force_even"};
  using Result = Rect;
  static constexpr std::string_view doc =
      "Calculates the Region of Interest (ROI) based on a detected face rectangle.\n\n"
      "# Arguments\n"
      "* `face` - The base bounding box of the detected face.\n"
      "* `method` - The extraction method determining the offset values.\n"
      "* `detector` - The type of face detector used.\n"
      "* `container_width` - Optional maximum width boundary to clip the ROI.\n"
      "* `container_height` - Optional maximum height boundary to clip the ROI.\n"
      "* `force_even` - If true, ensures the resulting ROI has even width and height.\n\n"
      "# Returns\n"
      "A `Rect` representing the calculated ROI.";
  static Rect call(const Rect& face, const RoiMethod& method, FaceDetector detector,
                   std::optional<float> container_width, std::optional<float> container_height,
                   bool force_even) {
    return calculate_roi(face, method, detector, container_width, container_height, force_even);
  }
};

struct ComputeBufferConfig {
  static constexpr Kind kind = Kind::Function;
  static constexpr std::string_view name = "compute_buffer_config";
  using Args = std::tuple<SessionConfig>;
  static constexpr std::array<std::string_view, 1> arg_names = {"config"};
  using Result = BufferConfig;
  static constexpr std::string_view doc = "";
  static BufferConfig call(const SessionConfig& config) { return compute_buffer_config(config); }
};

struct ComputeIou {
  static constexpr Kind kind = Kind::Function;
  static constexpr std::string_view name = "compute_iou";
  using Args = std::tuple<Rect, Rect>;
  static constexpr std::array<std::string_view, 2> arg_names = {"a", "b"};
  using Result = float;
  static constexpr std::string_view doc =
      "Computes the Intersection over Union (IoU) of two rectangles.\n\n"
      "# Arguments\n"
      "* `a` - First rectangle.\n"
      "* `b` - Second rectangle.\n\n"
      "# Returns\n"
      "The IoU ratio as a float between 0.0 and 1.0.";
  static float call(const Rect& a, const Rect& b) { return compute_iou(a, b); }
};

struct GetVitalInfo {
  static constexpr Kind kind = Kind::Function;
  static constexpr std::string_view name = "get_vital_info";
  using Args = std::tuple<std::string>;
  static constexpr std::array<std::string_view, 1> arg_names = {"vital_id"};
  using Result = std::optional<VitalInfo>;
  static constexpr std::string_view doc = "";
  static std::optional<VitalInfo> call(const std::string& vital_id) {
    return get_vital_info(vital_id);
  }
};

struct IsContained {
  static constexpr Kind kind = Kind::Function;
  static constexpr std::string_view name = "is_contained";
  using Args = std::tuple<Rect, Rect, float>;
  static constexpr std::array<std::string_view, 3> arg_names = {"inner", "outer",
                                                                "min_overlap_pct"};
  using Result = bool;
  static constexpr std::string_view doc =
      "Checks if an inner rectangle is sufficiently contained within an outer rectangle.\n\n"
      "# Arguments\n"
      "* `inner` - The rectangle to check for containment.\n"
      "* `outer` - The boundary rectangle.\n"
      "* `min_overlap_pct` - The minimum required visible fraction of the inner rectangle.\n\n"
      "# Returns\n"
      "`true` if the visible area meets or exceeds `min_overlap_pct`, otherwise `false`.";
  static bool call(const Rect& inner, const Rect& outer, float min_overlap_pct) {
    return is_contained(inner, outer, min_overlap_pct);
  }
};

// ---- Constructors: build Object from the lifted arguments -------------------------

struct SessionNew {
  static constexpr Kind kind = Kind::Constructor;
  using Object = Session;
  static constexpr std::string_view name = "new";
  using Args = std::tuple<SessionConfig>;
  static constexpr std::array<std::string_view, 1> arg_names = {"config"};
  using Result = Handle<Session>;
  static constexpr std::string_view doc =
      "Creates a new stateful session using the provided configuration.\n\n"
      "# Arguments\n"
      "* `config` - The configuration parameters dictating target frame rate and model "
      "metadata.\n\n"
      "# Returns\n"
      "A new instance of `Session`.";
};

struct BufferPlannerNew {
  static constexpr Kind kind = Kind::Constructor;
  using Object = BufferPlanner;
  static constexpr std::string_view name = "new";
  using Args = std::tuple<BufferConfig>;
  static constexpr std::array<std::string_view, 1> arg_names = {"config"};
  using Result = Handle<BufferPlanner>;
  static constexpr std::string_view doc = "";
};

// ---- Methods --------------------------------------------------------------------

struct SessionProcess {
  static constexpr Kind kind = Kind::Method;
  using Object = Session;
  static constexpr std::string_view name = "process";
  using Args = std::tuple<SessionInput, WaveformMode>;
  static constexpr std::array<std::string_view, 2> arg_names = {"input", "mode"};
  using Result = SessionResult;
  static constexpr std::string_view doc =
      "Processes a new batch of inputs, updating the session's internal state\n"
      "and returning the calculated vital signs and waveforms.\n\n"
      "# Arguments\n"
      "* `input` - The latest batch of input data (signals, face coordinates, timestamps).\n"
      "* `mode` - The extraction mode dictating the payload size (Incremental, Windowed, or "
      "Global).\n\n"
      "# Returns\n"
      "A `SessionResult` containing the estimated vitals, waveforms, and metadata.";
  static SessionResult call(Session& session, const SessionInput& input,
                            const WaveformMode& mode) {
    return session.process(input, mode);
  }
};

struct SessionReset {
  static constexpr Kind kind = Kind::Method;
  using Object = Session;
  static constexpr std::string_view name = "reset";
  using Args = std::tuple<>;
  static constexpr std::array<std::string_view, 0> arg_names = {};
  using Result = void;
  static constexpr std::string_view doc =
      "Resets the internal state of the session, clearing all historical buffers.";
  static void call(Session& session) { session.reset(); }
};

struct BufferPlannerEvaluateTarget {
  static constexpr Kind kind = Kind::Method;
  using Object = BufferPlanner;
  static constexpr std::string_view name = "evaluate_target";
  using Args = std::tuple<Rect, double, std::vector<BufferMetadata>>;
  static constexpr std::array<std::string_view, 3> arg_names = {"target_roi", "timestamp",
                                                                "active_buffers"};
  using Result = BufferAction;
  static constexpr std::string_view doc =
      "Evaluates a target ROI against the list of known active buffers using\n"
      "Intersection over Union (IoU) to maintain spatial consistency.\n\n"
      "# Arguments\n"
      "* `target_roi` - The bounding box of the newly detected subject.\n"
      "* `timestamp` - The current frame's timestamp.\n"
      "* `active_buffers` - Metadata of currently tracked buffers.\n\n"
      "# Returns\n"
      "A `BufferAction` instructing the caller to either append to an existing buffer or "
      "create a new one.";
  static BufferAction call(const BufferPlanner& planner, const Rect& target_roi, double timestamp,
                           const std::vector<BufferMetadata>& active_buffers) {
    return planner.evaluate_target(target_roi, timestamp, active_buffers);
  }
};

struct BufferPlannerIsReady {
  static constexpr Kind kind = Kind::Method;
  using Object = BufferPlanner;
  static constexpr std::string_view name = "is_ready";
  using Args = std::tuple<std::uint32_t, InferenceMode, bool, bool>;
  static constexpr std::array<std::string_view, 4> arg_names = {"count", "mode", "has_state",
                                                                "flush"};
  using Result = bool;
  static constexpr std::string_view doc =
      "Determines if a specific buffer is actionable based on volume and configuration "
      "constraints.";
  static bool call(const BufferPlanner& planner, std::uint32_t count, InferenceMode mode,
                   bool has_state, bool flush) {
    return planner.is_ready(count, mode, has_state, flush);
  }
};

struct BufferPlannerPoll {
  static constexpr Kind kind = Kind::Method;
  using Object = BufferPlanner;
  static constexpr std::string_view name = "poll";
  using Args = std::tuple<std::vector<BufferMetadata>, double, InferenceMode, bool, bool>;
  static constexpr std::array<std::string_view, 5> arg_names = {
      "active_buffers", "current_time", "mode", "has_state", "flush"};
  using Result = ExecutionPlan;
  static constexpr std::string_view doc =
      "Determines which buffer (if any) is ready for inference execution, and identifies\n"
      "stale buffers that should be dropped from memory.\n\n"
      "# Arguments\n"
      "* `active_buffers` - Metadata of currently tracked buffers.\n"
      "* `current_time` - The current execution timestamp.\n"
      "* `mode` - The operational mode (Stream or File).\n"
      "* `has_state` - Whether the engine has warmed up with prior state.\n"
      "* `flush` - If true, forces the consumption of the buffer regardless of capacity "
      "limits.\n\n"
      "# Returns\n"
      "An `ExecutionPlan` containing an optional command to execute inference, and a list of "
      "buffer IDs to drop.";
  static ExecutionPlan call(const BufferPlanner& planner,
                            const std::vector<BufferMetadata>& active_buffers, double current_time,
                            InferenceMode mode, bool has_state, bool flush) {
    return planner.poll(active_buffers, current_time, mode, has_state, flush);
  }
};

}  // namespace orvane::ffi::ops
