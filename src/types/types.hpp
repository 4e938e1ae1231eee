// The records and enumerations that cross the library boundary.
//
// They are plain values: copied in, copied out, never shared. Fields are in
// declaration order, which both faces rely on (the C ABI serialises fields in
// exactly this order; Python constructors take them in documented orders).
// Enumerations with payloads are tagged values: a `kind` plus the payload
// fields, which are meaningful only for the kind that carries them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// ---- Geometry ---------------------------------------------------------------

// Box in image pixels, y growing downward; no constraint on the sizes.
struct Rect {
  float x = 0;       // left edge
  float y = 0;       // top edge
  float width = 0;   // right edge is x + width
  float height = 0;  // bottom edge is y + height
};

// ---- Session input ----------------------------------------------------------

struct FaceInput {
  std::vector<std::vector<float>> coordinates;  // one box (4 numbers) per frame
  std::vector<float> confidence;                // one per frame
};

struct SignalInput {
  std::vector<float> data;        // one sample per frame
  std::vector<float> confidence;  // one per frame
};

struct SessionInput {
  std::optional<FaceInput> face;
  std::map<std::string, SignalInput> signals;  // keyed by signal id
  std::vector<double> timestamp;               // seconds, one per frame
};

// ---- Session configuration --------------------------------------------------

struct SessionConfig {
  std::string model_name;
  std::vector<std::string> supported_vitals;
  std::optional<std::vector<std::string>> return_waveforms;
  float fps_target = 0;         // frames per second
  std::uint64_t input_size = 0; // model input edge, pixels
  std::uint64_t n_inputs = 0;   // frames per inference
  std::string roi_method;
  std::optional<bool> estimate_rolling_vitals;
};

// ---- Session output ---------------------------------------------------------

struct VitalResult {
  float value = 0;
  float confidence = 0;
  std::string unit;
  std::string note;
};

struct WaveformResult {
  std::vector<float> data;
  std::vector<float> confidence;
  std::string unit;
  std::string note;
};

struct FaceResult {
  std::vector<std::vector<float>> coordinates;
  std::vector<float> confidence;
  std::optional<std::string> note;
};

struct SessionResult {
  std::vector<double> timestamp;
  std::optional<FaceResult> face;
  std::map<std::string, WaveformResult> waveforms;
  std::map<std::string, VitalResult> vitals;
  std::optional<std::map<std::string, WaveformResult>> rolling_vitals;
  float fps = 0;
  std::string message;
};

// ---- Vital registry ---------------------------------------------------------

struct VitalInfo {
  std::string id;
  std::string display_name;
  std::string short_name;
  std::string unit;
  std::string color;
  std::string emoji;
  std::optional<float> min_value;
  std::optional<float> max_value;
  std::optional<float> min_window_seconds;
  std::optional<float> preferred_window_seconds;
};

// ---- Buffer planning --------------------------------------------------------

struct BufferConfig {
  std::uint32_t min_no_state = 0;
  std::uint32_t min_with_state = 0;
  std::uint32_t stream_max = 0;
  std::uint32_t file_max = 0;
  std::uint32_t overlap = 0;
};

struct BufferMetadata {
  std::string id;
  Rect roi;
  std::uint32_t count = 0;
  double created_at = 0;  // seconds
  double last_seen = 0;   // seconds
};

enum class BufferActionType : std::uint8_t { Create, KeepAlive, Ignore };

struct BufferAction {
  BufferActionType action = BufferActionType::Create;
  std::optional<std::string> matched_id;
  std::optional<Rect> roi;
};

struct InferenceCommand {
  std::string buffer_id;
  std::uint32_t take_count = 0;
  std::uint32_t keep_count = 0;
};

struct ExecutionPlan {
  std::optional<InferenceCommand> command;
  std::vector<std::string> buffers_to_drop;
};

// ---- Enumerations -----------------------------------------------------------

enum class InferenceMode : std::uint8_t { Stream, File };

enum class FaceDetector : std::uint8_t { Default, AppleVision };

struct RoiMethod {
  enum class Kind : std::uint8_t { Face, Forehead, UpperBody, UpperBodyCropped, Custom };
  Kind kind = Kind::Face;
  // Payload of Custom, fractions of the face box's width (left, right) or
  // height (top, bottom); positive grows the box.
  float left = 0;
  float top = 0;
  float right = 0;
  float bottom = 0;

  static constexpr RoiMethod custom(float l, float t, float r, float b) {
    return RoiMethod{Kind::Custom, l, t, r, b};
  }
};

struct WaveformMode {
  enum class Kind : std::uint8_t { Incremental, Windowed, Global };
  Kind kind = Kind::Incremental;
  float seconds = 0;  // payload of Windowed

  static constexpr WaveformMode incremental() { return {Kind::Incremental, 0}; }
  static constexpr WaveformMode windowed(float s) { return {Kind::Windowed, s}; }
  static constexpr WaveformMode global() { return {Kind::Global, 0}; }
};

// ---- Published one-line descriptions ----------------------------------------
// Both faces publish these texts verbatim (Python class documentation and the
// C interface description), so they live here once.

namespace descriptions {
inline constexpr std::string_view Rect = "A simple bounding box definition.";
inline constexpr std::string_view FaceInput =
    "Input payload representing tracked face bounding boxes over a sequence of frames.";
inline constexpr std::string_view SignalInput =
    "A generic wrapper for a single physical signal and its corresponding confidence array.";
inline constexpr std::string_view SessionInput =
    "The core batch input object submitted to the session engine for processing.";
inline constexpr std::string_view SessionConfig = "Configuration for initializing a Orvane session.";
inline constexpr std::string_view VitalResult = "Derived scalar physiological value.";
inline constexpr std::string_view WaveformResult =
    "Derived continuous waveform data alongside unit metadata.";
inline constexpr std::string_view FaceResult = "Filtered/smoothed output face coordinates.";
inline constexpr std::string_view SessionResult =
    "The final payload aggregated from a session processing tick.";
inline constexpr std::string_view VitalInfo =
    "Extracted UI/display properties for a specific vital sign.";
inline constexpr std::string_view BufferConfig =
    "Capacity constraints and threshold configuration for buffers.";
inline constexpr std::string_view BufferMetadata =
    "Identifiable state metadata attached to a specific processing buffer.";
inline constexpr std::string_view BufferAction =
    "The concrete instruction resulting from evaluating a target.";
inline constexpr std::string_view InferenceCommand =
    "Command returned by the BufferPlanner indicating how many frames to extract.";
inline constexpr std::string_view ExecutionPlan =
    "Aggregated output from the BufferPlanner dictating next steps for all buffers.";
inline constexpr std::string_view BufferActionType =
    "Action to be taken on a target ROI after evaluation.";
inline constexpr std::string_view InferenceMode = "Operational paradigm dictating buffer fill limits.";
inline constexpr std::string_view FaceDetector =
    "The origin detector format of the incoming bounding box.";
inline constexpr std::string_view RoiMethod =
    "Pre-defined and custom methods for extracting physical ROIs from a base face bounding box.";
inline constexpr std::string_view WaveformMode =
    "Dictates how the session should prune state and yield output waveforms.";
inline constexpr std::string_view WaveformModeIncremental =
    "Returns only newly added frames, discarding older history.";
inline constexpr std::string_view WaveformModeWindowed =
    "Returns a fixed trailing window of data (in seconds).";
inline constexpr std::string_view WaveformModeGlobal =
    "Returns the entire history and disables state pruning.";
inline constexpr std::string_view Session =
    "A thread-safe, stateful session object for processing continuous frame data natively "
    "across FFI and Wasm.";
inline constexpr std::string_view BufferPlanner =
    "Manages the tracking, matching, and lifecycle of video frame buffers across a session.";
}  // namespace descriptions

}  // namespace orvane
