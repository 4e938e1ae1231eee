// The record classes: one Python class per record, holding a copy of it.
//
// Each class is described by constant tables: its fields in attribute order
// (name and pointer to member), its constructor parameters in signature
// order, whether attributes may be written, and an optional representation.
// Attribute reads convert a copy of the field; writes convert first and only
// then replace the field, so a failed write leaves it unchanged.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "python/binder.hpp"
#include "python/class_builder.hpp"
#include "python/classes.hpp"
#include "python/convert.hpp"

namespace orvane::py {
namespace {

// Record and field type of a pointer to member.
template <auto Member>
struct FieldOf;
template <typename R, typename F, F R::*Member>
struct FieldOf<Member> {
  using Record = R;
  using Type = F;
};

template <auto Member>
PyObject* read_field(PyObject* self, void*) {
  using F = FieldOf<Member>;
  return guarded([&] { return Conv<typename F::Type>::to(value_of<typename F::Record>(self).*Member); });
}

// `closure` is the attribute's name, used to prefix conversion TypeErrors.
template <auto Member>
int write_field(PyObject* self, PyObject* value, void* closure) {
  using F = FieldOf<Member>;
  if (!value) {
    PyErr_SetString(PyExc_AttributeError, "can't delete attribute");
    return -1;
  }
  return guarded([&] {
    typename F::Type converted{};
    if (!convert_named(static_cast<const char*>(closure), value, converted)) return -1;
    value_of<typename F::Record>(self).*Member = std::move(converted);
    return 0;
  });
}

template <typename R>
struct Field {
  const char* name;
  getter get;
  setter set;
  bool (*assign)(R& record, const char* name, PyObject* value);  // constructor argument
};

template <auto Member>
bool assign_field(typename FieldOf<Member>::Record& record, const char* name, PyObject* value) {
  return convert_named(name, value, record.*Member);
}

template <auto Member>
constexpr Field<typename FieldOf<Member>::Record> field(const char* name) {
  return {name, read_field<Member>, write_field<Member>, assign_field<Member>};
}

template <typename R>
struct RecordSpec {
  const char* qualified_name;
  const char* ctor_name;  // "Rect.__new__()" in binding messages; nullptr: no constructor
  const char* signature;  // "(x, y, width, height)"
  std::string_view description;
  std::span<const Param> params;     // constructor parameters, named as fields
  std::span<const Field<R>> fields;  // attribute order
  bool writable;
  reprfunc repr;
};

template <typename R>
extern const RecordSpec<R> record_spec;

template <typename R>
PyObject* construct(PyTypeObject* cls, PyObject* args, PyObject* kwargs) {
  const RecordSpec<R>& spec = record_spec<R>;
  const Signature signature{spec.ctor_name, spec.params};
  return call_bound(signature, args, kwargs, [&](const Args& bound) -> PyObject* {
    R record{};
    for (std::size_t i = 0; i < spec.params.size(); ++i) {
      PyObject* value = bound.supplied(i);
      if (!value) continue;  // optional, left at its default
      const char* name = spec.params[i].name;
      for (const Field<R>& f : spec.fields) {
        if (std::strcmp(f.name, name) == 0 && !f.assign(record, name, value)) return nullptr;
      }
    }
    return new_instance_of<R>(reinterpret_cast<PyObject*>(cls), std::move(record));
  });
}

// ---- Representations --------------------------------------------------------

void append_fixed2(std::string& text, float v) {
  if (std::isnan(v)) {
    text += "NaN";
    return;
  }
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2f", static_cast<double>(v));  // inf, -inf as such
  text += buffer;
}

PyObject* rect_repr(PyObject* self) {
  return guarded([&] {
    const Rect& r = value_of<Rect>(self);
    std::string text = "Rect(x=";
    append_fixed2(text, r.x);
    text += ", y=";
    append_fixed2(text, r.y);
    text += ", w=";
    append_fixed2(text, r.width);
    text += ", h=";
    append_fixed2(text, r.height);
    text += ')';
    return Conv<std::string>::to(text);
  });
}

PyObject* vital_info_repr(PyObject* self) {
  return guarded([&] {
    const VitalInfo& v = value_of<VitalInfo>(self);
    return Conv<std::string>::to("VitalInfo(id='" + v.id + "', name='" + v.display_name + "')");
  });
}

// ---- The tables -------------------------------------------------------------

constexpr Param kRectParams[] = {{"x", true}, {"y", true}, {"width", true}, {"height", true}};
constexpr Field<Rect> kRectFields[] = {field<&Rect::x>("x"), field<&Rect::y>("y"),
                                       field<&Rect::width>("width"),
                                       field<&Rect::height>("height")};

constexpr Param kSignalInputParams[] = {{"data", true}, {"confidence", true}};
constexpr Field<SignalInput> kSignalInputFields[] = {
    field<&SignalInput::data>("data"), field<&SignalInput::confidence>("confidence")};

constexpr Param kFaceInputParams[] = {{"coordinates", true}, {"confidence", true}};
constexpr Field<FaceInput> kFaceInputFields[] = {
    field<&FaceInput::coordinates>("coordinates"), field<&FaceInput::confidence>("confidence")};

constexpr Param kSessionInputParams[] = {{"face", true}, {"signals", true}, {"timestamp", true}};
constexpr Field<SessionInput> kSessionInputFields[] = {
    field<&SessionInput::face>("face"), field<&SessionInput::signals>("signals"),
    field<&SessionInput::timestamp>("timestamp")};

// The two optional fields come last among the constructor's parameters.
constexpr Param kSessionConfigParams[] = {
    {"model_name", true}, {"supported_vitals", true}, {"fps_target", true},
    {"input_size", true}, {"n_inputs", true},         {"roi_method", true},
    {"return_waveforms", false}, {"estimate_rolling_vitals", false}};
constexpr Field<SessionConfig> kSessionConfigFields[] = {
    field<&SessionConfig::model_name>("model_name"),
    field<&SessionConfig::supported_vitals>("supported_vitals"),
    field<&SessionConfig::return_waveforms>("return_waveforms"),
    field<&SessionConfig::fps_target>("fps_target"),
    field<&SessionConfig::input_size>("input_size"),
    field<&SessionConfig::n_inputs>("n_inputs"),
    field<&SessionConfig::roi_method>("roi_method"),
    field<&SessionConfig::estimate_rolling_vitals>("estimate_rolling_vitals")};

constexpr Field<SessionResult> kSessionResultFields[] = {
    field<&SessionResult::timestamp>("timestamp"), field<&SessionResult::face>("face"),
    field<&SessionResult::waveforms>("waveforms"), field<&SessionResult::vitals>("vitals"),
    field<&SessionResult::rolling_vitals>("rolling_vitals"), field<&SessionResult::fps>("fps"),
    field<&SessionResult::message>("message")};

constexpr Field<WaveformResult> kWaveformResultFields[] = {
    field<&WaveformResult::data>("data"), field<&WaveformResult::confidence>("confidence"),
    field<&WaveformResult::unit>("unit"), field<&WaveformResult::note>("note")};

constexpr Field<VitalResult> kVitalResultFields[] = {
    field<&VitalResult::value>("value"), field<&VitalResult::confidence>("confidence"),
    field<&VitalResult::unit>("unit"), field<&VitalResult::note>("note")};

constexpr Field<FaceResult> kFaceResultFields[] = {
    field<&FaceResult::coordinates>("coordinates"), field<&FaceResult::confidence>("confidence"),
    field<&FaceResult::note>("note")};

constexpr Field<BufferConfig> kBufferConfigFields[] = {
    field<&BufferConfig::min_no_state>("min_no_state"),
    field<&BufferConfig::min_with_state>("min_with_state"),
    field<&BufferConfig::stream_max>("stream_max"), field<&BufferConfig::file_max>("file_max"),
    field<&BufferConfig::overlap>("overlap")};

constexpr Param kBufferMetadataParams[] = {
    {"id", true}, {"roi", true}, {"count", true}, {"created_at", true}, {"last_seen", true}};
constexpr Field<BufferMetadata> kBufferMetadataFields[] = {
    field<&BufferMetadata::id>("id"), field<&BufferMetadata::roi>("roi"),
    field<&BufferMetadata::count>("count"), field<&BufferMetadata::created_at>("created_at"),
    field<&BufferMetadata::last_seen>("last_seen")};

constexpr Field<BufferAction> kBufferActionFields[] = {
    field<&BufferAction::action>("action"), field<&BufferAction::matched_id>("matched_id"),
    field<&BufferAction::roi>("roi")};

constexpr Field<InferenceCommand> kInferenceCommandFields[] = {
    field<&InferenceCommand::buffer_id>("buffer_id"),
    field<&InferenceCommand::take_count>("take_count"),
    field<&InferenceCommand::keep_count>("keep_count")};

constexpr Field<ExecutionPlan> kExecutionPlanFields[] = {
    field<&ExecutionPlan::command>("command"),
    field<&ExecutionPlan::buffers_to_drop>("buffers_to_drop")};

constexpr Field<VitalInfo> kVitalInfoFields[] = {
    field<&VitalInfo::id>("id"),
    field<&VitalInfo::display_name>("display_name"),
    field<&VitalInfo::short_name>("short_name"),
    field<&VitalInfo::unit>("unit"),
    field<&VitalInfo::color>("color"),
    field<&VitalInfo::emoji>("emoji"),
    field<&VitalInfo::min_value>("min_value"),
    field<&VitalInfo::max_value>("max_value"),
    field<&VitalInfo::min_window_seconds>("min_window_seconds"),
    field<&VitalInfo::preferred_window_seconds>("preferred_window_seconds")};

// Constructible records (all attributes writable).
template <>
const RecordSpec<Rect> record_spec<Rect> = {"orvane_core.Rect", "Rect.__new__()",
                                            "(x, y, width, height)", descriptions::Rect,
                                            kRectParams, kRectFields, true, rect_repr};
template <>
const RecordSpec<SignalInput> record_spec<SignalInput> = {
    "orvane_core.SignalInput", "SignalInput.__new__()", "(data, confidence)",
    descriptions::SignalInput, kSignalInputParams, kSignalInputFields, true, nullptr};
template <>
const RecordSpec<FaceInput> record_spec<FaceInput> = {
    "orvane_core.FaceInput", "FaceInput.__new__()", "(coordinates, confidence)",
    descriptions::FaceInput, kFaceInputParams, kFaceInputFields, true, nullptr};
template <>
const RecordSpec<SessionInput> record_spec<SessionInput> = {
    "orvane_core.SessionInput", "SessionInput.__new__()", "(face, signals, timestamp)",
    descriptions::SessionInput, kSessionInputParams, kSessionInputFields, true, nullptr};
template <>
const RecordSpec<SessionConfig> record_spec<SessionConfig> = {
    "orvane_core.SessionConfig", "SessionConfig.__new__()",
    "(model_name, supported_vitals, fps_target, input_size, n_inputs, roi_method, "
    "return_waveforms=None, estimate_rolling_vitals=None)",
    descriptions::SessionConfig, kSessionConfigParams, kSessionConfigFields, true, nullptr};
template <>
const RecordSpec<BufferMetadata> record_spec<BufferMetadata> = {
    "orvane_core.BufferMetadata", "BufferMetadata.__new__()",
    "(id, roi, count, created_at, last_seen)", descriptions::BufferMetadata,
    kBufferMetadataParams, kBufferMetadataFields, true, nullptr};

// Result records: read-only.
template <>
const RecordSpec<SessionResult> record_spec<SessionResult> = {
    "orvane_core.SessionResult", nullptr, nullptr, descriptions::SessionResult,
    {}, kSessionResultFields, false, nullptr};
template <>
const RecordSpec<WaveformResult> record_spec<WaveformResult> = {
    "orvane_core.WaveformResult", nullptr, nullptr, descriptions::WaveformResult,
    {}, kWaveformResultFields, false, nullptr};
template <>
const RecordSpec<VitalResult> record_spec<VitalResult> = {
    "orvane_core.VitalResult", nullptr, nullptr, descriptions::VitalResult,
    {}, kVitalResultFields, false, nullptr};
template <>
const RecordSpec<FaceResult> record_spec<FaceResult> = {
    "orvane_core.FaceResult", nullptr, nullptr, descriptions::FaceResult,
    {}, kFaceResultFields, false, nullptr};

// Planner and registry results: no constructor, attributes writable so that
// a caller can adjust, for example, a BufferConfig before building a planner.
template <>
const RecordSpec<BufferConfig> record_spec<BufferConfig> = {
    "orvane_core.BufferConfig", nullptr, nullptr, descriptions::BufferConfig,
    {}, kBufferConfigFields, true, nullptr};
template <>
const RecordSpec<BufferAction> record_spec<BufferAction> = {
    "orvane_core.BufferAction", nullptr, nullptr, descriptions::BufferAction,
    {}, kBufferActionFields, true, nullptr};
template <>
const RecordSpec<InferenceCommand> record_spec<InferenceCommand> = {
    "orvane_core.InferenceCommand", nullptr, nullptr, descriptions::InferenceCommand,
    {}, kInferenceCommandFields, true, nullptr};
template <>
const RecordSpec<ExecutionPlan> record_spec<ExecutionPlan> = {
    "orvane_core.ExecutionPlan", nullptr, nullptr, descriptions::ExecutionPlan,
    {}, kExecutionPlanFields, true, nullptr};
template <>
const RecordSpec<VitalInfo> record_spec<VitalInfo> = {
    "orvane_core.VitalInfo", nullptr, nullptr, descriptions::VitalInfo,
    {}, kVitalInfoFields, true, vital_info_repr};

}  // namespace

template <typename R>
PyObject* build_record_class() {
  const RecordSpec<R>& spec = record_spec<R>;
  // The attribute table must outlive the class: one per record type.
  static std::vector<PyGetSetDef> attributes = [&] {
    std::vector<PyGetSetDef> table;
    for (const Field<R>& f : spec.fields) {
      table.push_back({f.name, f.get, spec.writable ? f.set : nullptr, nullptr,
                       spec.writable ? const_cast<char*>(f.name) : nullptr});
    }
    table.push_back({});
    return table;
  }();
  std::vector<PyType_Slot> slots = {
      // Frees the record, the memory and the instance's reference to its class.
      {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_instance<R>)},
      // Converts the constructor arguments, or refuses construction.
      {Py_tp_new, spec.ctor_name ? reinterpret_cast<void*>(construct<R>)
                                 : reinterpret_cast<void*>(no_constructor)},
      // Copy-out reads and converting writes of the fields.
      {Py_tp_getset, attributes.data()},
  };
  if (spec.repr) slots.push_back({Py_tp_repr, reinterpret_cast<void*>(spec.repr)});  // also str()
  PyObject* cls = build_class(spec.qualified_name, sizeof(Instance<R>),
                              class_doc(spec.qualified_name, spec.signature, spec.description),
                              std::move(slots));
  if (!cls) return nullptr;
  Py_INCREF(cls);
  class_object<R> = cls;
  return cls;
}

template PyObject* build_record_class<Rect>();
template PyObject* build_record_class<SignalInput>();
template PyObject* build_record_class<FaceInput>();
template PyObject* build_record_class<SessionInput>();
template PyObject* build_record_class<SessionConfig>();
template PyObject* build_record_class<SessionResult>();
template PyObject* build_record_class<WaveformResult>();
template PyObject* build_record_class<VitalResult>();
template PyObject* build_record_class<FaceResult>();
template PyObject* build_record_class<BufferConfig>();
template PyObject* build_record_class<BufferMetadata>();
template PyObject* build_record_class<BufferAction>();
template PyObject* build_record_class<InferenceCommand>();
template PyObject* build_record_class<ExecutionPlan>();
template PyObject* build_record_class<VitalInfo>();

}  // namespace orvane::py
