// The object classes Session and BufferPlanner.
//
// Each instance owns one library object, constructed in place from a copy of
// the configuration; later changes to the configuration instance do not
// reach it. The classes have no attributes, only their methods.
#include <utility>
#include <vector>

#include "python/binder.hpp"
#include "python/class_builder.hpp"
#include "python/classes.hpp"
#include "state/frames.hpp"
#include "state/session.hpp"

namespace orvane::py {
namespace {

// A new instance of `cls` owning an Object built from `config`.
template <typename Object, typename Config>
PyObject* new_object(PyTypeObject* cls, Config config) {
  PyObject* self = PyType_GenericAlloc(cls, 0);
  if (!self) return nullptr;
  new (&reinterpret_cast<Instance<Object>*>(self)->value) Object(std::move(config));
  return self;
}

// ---- Session ----------------------------------------------------------------

constexpr Param kConfigParams[] = {{"config", true}};
constexpr Signature kSessionNew = {"Session.__new__()", kConfigParams};

constexpr Param kProcessParams[] = {{"input", true}, {"mode", true}};
constexpr Signature kProcess = {"Session.process()", kProcessParams};
constexpr Signature kReset = {"Session.reset()", {}};

PyObject* session_new(PyTypeObject* cls, PyObject* args, PyObject* kwargs) {
  return call_bound(kSessionNew, args, kwargs, [&](const Args& a) -> PyObject* {
    SessionConfig config;
    if (!a.get(0, config)) return nullptr;
    return new_object<Session>(cls, std::move(config));
  });
}

PyObject* session_process(PyObject* self, PyObject* args, PyObject* kwargs) {
  return call_bound(kProcess, args, kwargs, [&](const Args& a) -> PyObject* {
    SessionInput input;
    WaveformMode mode;
    if (!a.get(0, input) || !a.get(1, mode)) return nullptr;
    return Conv<SessionResult>::to(value_of<Session>(self).process(input, mode));
  });
}

PyObject* session_reset(PyObject* self, PyObject* args, PyObject* kwargs) {
  return call_bound(kReset, args, kwargs, [&](const Args&) -> PyObject* {
    value_of<Session>(self).reset();
    Py_RETURN_NONE;
  });
}

PyMethodDef kSessionMethods[] = {
    {"process", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(session_process)),
     METH_VARARGS | METH_KEYWORDS, "process($self, input, mode)\n--\n\n"},
    {"reset", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(session_reset)),
     METH_VARARGS | METH_KEYWORDS, "reset($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

// ---- BufferPlanner ----------------------------------------------------------

constexpr Signature kPlannerNew = {"BufferPlanner.__new__()", kConfigParams};

constexpr Param kEvaluateParams[] = {
    {"target_roi", true}, {"timestamp", true}, {"active_buffers", true}};
constexpr Signature kEvaluate = {"BufferPlanner.evaluate_target()", kEvaluateParams};

constexpr Param kPollParams[] = {{"active_buffers", true},
                                 {"current_time", true},
                                 {"mode", true},
                                 {"has_state", true},
                                 {"flush", true}};
constexpr Signature kPoll = {"BufferPlanner.poll()", kPollParams};

PyObject* planner_new(PyTypeObject* cls, PyObject* args, PyObject* kwargs) {
  return call_bound(kPlannerNew, args, kwargs, [&](const Args& a) -> PyObject* {
    BufferConfig config;
    if (!a.get(0, config)) return nullptr;
    return new_object<BufferPlanner>(cls, config);
  });
}

PyObject* planner_evaluate_target(PyObject* self, PyObject* args, PyObject* kwargs) {
  return call_bound(kEvaluate, args, kwargs, [&](const Args& a) -> PyObject* {
    Rect target;
    double timestamp = 0;
    std::vector<BufferMetadata> buffers;
    if (!a.get(0, target) || !a.get(1, timestamp) || !a.get(2, buffers)) return nullptr;
    return Conv<BufferAction>::to(
        value_of<BufferPlanner>(self).evaluate_target(target, timestamp, buffers));
  });
}

PyObject* planner_poll(PyObject* self, PyObject* args, PyObject* kwargs) {
  return call_bound(kPoll, args, kwargs, [&](const Args& a) -> PyObject* {
    std::vector<BufferMetadata> buffers;
    double current_time = 0;
    InferenceMode mode{};
    bool has_state = false;
    bool flush = false;
    if (!a.get(0, buffers) || !a.get(1, current_time) || !a.get(2, mode) ||
        !a.get(3, has_state) || !a.get(4, flush)) {
      return nullptr;
    }
    return Conv<ExecutionPlan>::to(
        value_of<BufferPlanner>(self).poll(buffers, current_time, mode, has_state, flush));
  });
}

PyMethodDef kPlannerMethods[] = {
    {"evaluate_target",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(planner_evaluate_target)),
     METH_VARARGS | METH_KEYWORDS, "evaluate_target($self, target_roi, timestamp, active_buffers)\n--\n\n"},
    {"poll", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(planner_poll)),
     METH_VARARGS | METH_KEYWORDS,
     "poll($self, active_buffers, current_time, mode, has_state, flush)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

template <typename Object>
PyObject* build_object_class(const char* qualified_name, std::string_view description,
                             newfunc construct, PyMethodDef* methods) {
  return build_class(qualified_name, sizeof(Instance<Object>),
                     class_doc(qualified_name, "(config)", description),
                     {
                         // Ends the owned object, frees the instance, drops the class reference.
                         {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_instance<Object>)},
                         // Copies the configuration and builds the object in place.
                         {Py_tp_new, reinterpret_cast<void*>(construct)},
                         // The methods, with their published text signatures.
                         {Py_tp_methods, methods},
                     });
}

}  // namespace

PyObject* build_session_class() {
  return build_object_class<Session>("orvane_core.Session", descriptions::Session, session_new,
                                     kSessionMethods);
}

PyObject* build_buffer_planner_class() {
  return build_object_class<BufferPlanner>("orvane_core.BufferPlanner",
                                           descriptions::BufferPlanner, planner_new,
                                           kPlannerMethods);
}

}  // namespace orvane::py
