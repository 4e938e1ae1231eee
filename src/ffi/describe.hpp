// The shape of every record, enumeration and object that crosses the C
// boundary, written down once. The codec derives lifting and lowering from
// these lists and the interface description derives its blobs from them, so
// a field added or renamed here changes the byte format, the blobs and their
// checksums together.
//
// Fields and variants are listed in declaration order: that order is the
// serialised order, and variant numbers count from 1 in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "types/types.hpp"

namespace orvane {
class Session;
class BufferPlanner;
}  // namespace orvane

namespace orvane::ffi {

// One field of a record or of an enumeration variant's payload.
template <class Owner, class T>
struct Field {
  using Type = T;
  std::string_view name;
  T Owner::*member;
  bool defaults_to_absent = false;  // published default: an absent optional
};

template <class Owner, class T>
constexpr Field<Owner, T> field(std::string_view name, T Owner::*member) {
  return {name, member, false};
}

template <class Owner, class T>
constexpr Field<Owner, T> field_absent_by_default(std::string_view name, T Owner::*member) {
  return {name, member, true};
}

template <class... Fields>
struct Variant {
  std::string_view name;
  std::string_view doc;
  std::tuple<Fields...> fields;
};

template <class... Fields>
constexpr Variant<Fields...> variant(std::string_view name, std::string_view doc,
                                     Fields... fields) {
  return {name, doc, {fields...}};
}

// Specialised below: name, doc and fields (records), variants (enumerations),
// name and doc (objects).
template <class T>
struct Record;
template <class T>
struct Enumeration;
template <class T>
struct Object;

template <class T>
concept IsRecord = requires { Record<T>::fields; };
template <class T>
concept IsEnumeration = requires { Enumeration<T>::variants; };

// A counted reference to an object, as a constructor's result.
template <class T>
struct Handle {};

// ---- Records ----------------------------------------------------------------

template <>
struct Record<Rect> {
  static constexpr std::string_view name = "Rect";
  static constexpr std::string_view doc = descriptions::Rect;
  static constexpr auto fields = std::tuple{
      field("x", &Rect::x), field("y", &Rect::y), field("width", &Rect::width),
      field("height", &Rect::height)};
};

template <>
struct Record<FaceInput> {
  static constexpr std::string_view name = "FaceInput";
  static constexpr std::string_view doc = descriptions::FaceInput;
  static constexpr auto fields = std::tuple{field("coordinates", &FaceInput::coordinates),
                                            field("confidence", &FaceInput::confidence)};
};

template <>
struct Record<SignalInput> {
  static constexpr std::string_view name = "SignalInput";
  static constexpr std::string_view doc = descriptions::SignalInput;
  static constexpr auto fields =
      std::tuple{field("data", &SignalInput::data), field("confidence", &SignalInput::confidence)};
};

template <>
struct Record<SessionInput> {
  static constexpr std::string_view name = "SessionInput";
  static constexpr std::string_view doc = descriptions::SessionInput;
  static constexpr auto fields =
      std::tuple{field("face", &SessionInput::face), field("signals", &SessionInput::signals),
                 field("timestamp", &SessionInput::timestamp)};
};

template <>
struct Record<SessionConfig> {
  static constexpr std::string_view name = "SessionConfig";
  static constexpr std::string_view doc = descriptions::SessionConfig;
  static constexpr auto fields = std::tuple{
      field("model_name", &SessionConfig::model_name),
      field("supported_vitals", &SessionConfig::supported_vitals),
      field("return_waveforms", &SessionConfig::return_waveforms),
      field("fps_target", &SessionConfig::fps_target),
      field("input_size", &SessionConfig::input_size),
      field("n_inputs", &SessionConfig::n_inputs),
      field("roi_method", &SessionConfig::roi_method),
      field_absent_by_default("estimate_rolling_vitals", &SessionConfig::estimate_rolling_vitals)};
};

template <>
struct Record<VitalResult> {
  static constexpr std::string_view name = "VitalResult";
  static constexpr std::string_view doc = descriptions::VitalResult;
  static constexpr auto fields =
      std::tuple{field("value", &VitalResult::value), field("confidence", &VitalResult::confidence),
                 field("unit", &VitalResult::unit), field("note", &VitalResult::note)};
};

template <>
struct Record<WaveformResult> {
  static constexpr std::string_view name = "WaveformResult";
  static constexpr std::string_view doc = descriptions::WaveformResult;
  static constexpr auto fields = std::tuple{
      field("data", &WaveformResult::data), field("confidence", &WaveformResult::confidence),
      field("unit", &WaveformResult::unit), field("note", &WaveformResult::note)};
};

template <>
struct Record<FaceResult> {
  static constexpr std::string_view name = "FaceResult";
  static constexpr std::string_view doc = descriptions::FaceResult;
  static constexpr auto fields = std::tuple{field("coordinates", &FaceResult::coordinates),
                                            field("confidence", &FaceResult::confidence),
                                            field("note", &FaceResult::note)};
};

template <>
struct Record<SessionResult> {
  static constexpr std::string_view name = "SessionResult";
  static constexpr std::string_view doc = descriptions::SessionResult;
  static constexpr auto fields = std::tuple{
      field("timestamp", &SessionResult::timestamp), field("face", &SessionResult::face),
      field("waveforms", &SessionResult::waveforms), field("vitals", &SessionResult::vitals),
      field("rolling_vitals", &SessionResult::rolling_vitals), field("fps", &SessionResult::fps),
      field("message", &SessionResult::message)};
};

template <>
struct Record<VitalInfo> {
  static constexpr std::string_view name = "VitalInfo";
  static constexpr std::string_view doc = descriptions::VitalInfo;
  static constexpr auto fields = std::tuple{
      field("id", &VitalInfo::id),
      field("display_name", &VitalInfo::display_name),
      field("short_name", &VitalInfo::short_name),
      field("unit", &VitalInfo::unit),
      field("color", &VitalInfo::color),
      field("emoji", &VitalInfo::emoji),
      field("min_value", &VitalInfo::min_value),
      field("max_value", &VitalInfo::max_value),
      field("min_window_seconds", &VitalInfo::min_window_seconds),
      field("preferred_window_seconds", &VitalInfo::preferred_window_seconds)};
};

template <>
struct Record<BufferConfig> {
  static constexpr std::string_view name = "BufferConfig";
  static constexpr std::string_view doc = descriptions::BufferConfig;
  static constexpr auto fields = std::tuple{
      field("min_no_state", &BufferConfig::min_no_state),
      field("min_with_state", &BufferConfig::min_with_state),
      field("stream_max", &BufferConfig::stream_max), field("file_max", &BufferConfig::file_max),
      field("overlap", &BufferConfig::overlap)};
};

template <>
struct Record<BufferMetadata> {
  static constexpr std::string_view name = "BufferMetadata";
  static constexpr std::string_view doc = descriptions::BufferMetadata;
  static constexpr auto fields = std::tuple{
      field("id", &BufferMetadata::id), field("roi", &BufferMetadata::roi),
      field("count", &BufferMetadata::count), field("created_at", &BufferMetadata::created_at),
      field("last_seen", &BufferMetadata::last_seen)};
};

template <>
struct Record<BufferAction> {
  static constexpr std::string_view name = "BufferAction";
  static constexpr std::string_view doc = descriptions::BufferAction;
  static constexpr auto fields =
      std::tuple{field("action", &BufferAction::action),
                 field("matched_id", &BufferAction::matched_id), field("roi", &BufferAction::roi)};
};

template <>
struct Record<InferenceCommand> {
  static constexpr std::string_view name = "InferenceCommand";
  static constexpr std::string_view doc = descriptions::InferenceCommand;
  static constexpr auto fields = std::tuple{field("buffer_id", &InferenceCommand::buffer_id),
                                            field("take_count", &InferenceCommand::take_count),
                                            field("keep_count", &InferenceCommand::keep_count)};
};

template <>
struct Record<ExecutionPlan> {
  static constexpr std::string_view name = "ExecutionPlan";
  static constexpr std::string_view doc = descriptions::ExecutionPlan;
  static constexpr auto fields =
      std::tuple{field("command", &ExecutionPlan::command),
                 field("buffers_to_drop", &ExecutionPlan::buffers_to_drop)};
};

// ---- Enumerations -------------------------------------------------------------
// Variant i (from 0) of the list is the C++ enumerator with value i, or the
// `kind` i of a tagged value.

template <>
struct Enumeration<BufferActionType> {
  static constexpr std::string_view name = "BufferActionType";
  static constexpr std::string_view doc = descriptions::BufferActionType;
  static constexpr auto variants =
      std::tuple{variant("Create", ""), variant("KeepAlive", ""), variant("Ignore", "")};
};

template <>
struct Enumeration<InferenceMode> {
  static constexpr std::string_view name = "InferenceMode";
  static constexpr std::string_view doc = descriptions::InferenceMode;
  static constexpr auto variants = std::tuple{variant("Stream", ""), variant("File", "")};
};

template <>
struct Enumeration<FaceDetector> {
  static constexpr std::string_view name = "FaceDetector";
  static constexpr std::string_view doc = descriptions::FaceDetector;
  static constexpr auto variants = std::tuple{variant("Default", ""), variant("AppleVision", "")};
};

template <>
struct Enumeration<RoiMethod> {
  static constexpr std::string_view name = "RoiMethod";
  static constexpr std::string_view doc = descriptions::RoiMethod;
  static constexpr auto variants = std::tuple{
      variant("Face", ""), variant("Forehead", ""), variant("UpperBody", ""),
      variant("UpperBodyCropped", ""),
      variant("Custom", "", field("left", &RoiMethod::left), field("top", &RoiMethod::top),
              field("right", &RoiMethod::right), field("bottom", &RoiMethod::bottom))};
};

template <>
struct Enumeration<WaveformMode> {
  static constexpr std::string_view name = "WaveformMode";
  static constexpr std::string_view doc = descriptions::WaveformMode;
  static constexpr auto variants = std::tuple{
      variant("Incremental", descriptions::WaveformModeIncremental),
      variant("Windowed", descriptions::WaveformModeWindowed,
              field("seconds", &WaveformMode::seconds)),
      variant("Global", descriptions::WaveformModeGlobal)};
};

template <class T>
constexpr std::size_t variant_count() {
  return std::tuple_size_v<std::remove_cvref_t<decltype(Enumeration<T>::variants)>>;
}

// Index (from 0) of the variant a value holds, and a value of variant i with
// a zero payload.
template <IsEnumeration T>
constexpr std::size_t variant_index(const T& value) {
  if constexpr (std::is_enum_v<T>) {
    return static_cast<std::size_t>(value);
  } else {
    return static_cast<std::size_t>(value.kind);
  }
}

template <IsEnumeration T>
constexpr T with_variant(std::size_t index) {
  if constexpr (std::is_enum_v<T>) {
    return static_cast<T>(index);
  } else {
    T value{};
    value.kind = static_cast<decltype(value.kind)>(index);
    return value;
  }
}

// ---- Objects ------------------------------------------------------------------

template <>
struct Object<Session> {
  static constexpr std::string_view name = "Session";
  static constexpr std::string_view doc = descriptions::Session;
};

template <>
struct Object<BufferPlanner> {
  static constexpr std::string_view name = "BufferPlanner";
  static constexpr std::string_view doc = descriptions::BufferPlanner;
};

// ---- Shapes ----------------------------------------------------------------
// Every type that crosses the boundary falls into exactly one shape; the
// codec and the interface description both dispatch on it.

enum class Shape {
  U32, U64, F32, F64, Bool, String,
  Optional, List, Map, Record, Enumeration, Object, Nothing,
};

template <class T>
struct ShapeOf;
template <> struct ShapeOf<std::uint32_t> { static constexpr Shape value = Shape::U32; };
template <> struct ShapeOf<std::uint64_t> { static constexpr Shape value = Shape::U64; };
template <> struct ShapeOf<float> { static constexpr Shape value = Shape::F32; };
template <> struct ShapeOf<double> { static constexpr Shape value = Shape::F64; };
template <> struct ShapeOf<bool> { static constexpr Shape value = Shape::Bool; };
template <> struct ShapeOf<std::string> { static constexpr Shape value = Shape::String; };
template <> struct ShapeOf<void> { static constexpr Shape value = Shape::Nothing; };
template <class T>
struct ShapeOf<std::optional<T>> {
  static constexpr Shape value = Shape::Optional;
  using Inner = T;
};
template <class T>
struct ShapeOf<std::vector<T>> {
  static constexpr Shape value = Shape::List;
  using Inner = T;
};
template <class T>
struct ShapeOf<std::map<std::string, T>> {
  static constexpr Shape value = Shape::Map;
  using Inner = T;
};
template <class T>
struct ShapeOf<Handle<T>> {
  static constexpr Shape value = Shape::Object;
  using Inner = T;
};
template <IsRecord T> struct ShapeOf<T> { static constexpr Shape value = Shape::Record; };
template <IsEnumeration T> struct ShapeOf<T> { static constexpr Shape value = Shape::Enumeration; };

template <class T>
inline constexpr Shape shape_of = ShapeOf<T>::value;

// The element type of an optional, list or map (map keys are always strings).
template <class T>
using inner_t = typename ShapeOf<T>::Inner;

}  // namespace orvane::ffi
