// Module initialisation: the 19 classes, then the 13 functions, in
// registration order, each name appended to __all__ as it is bound.
//
// Class objects are process-wide (converters reach them without module
// state), so the module can be initialised only once per process; a second
// initialisation, for example after removing the module from sys.modules and
// importing it again, raises ImportError.
#include "python/class_builder.hpp"
#include "python/functions.hpp"
#include "python/guard.hpp"
#include "python/python.hpp"
#include "types/types.hpp"

namespace orvane::py {
namespace {

const ClassEntry kClasses[] = {
    {"Session", build_session_class},
    {"SessionConfig", build_record_class<SessionConfig>},
    {"SessionInput", build_record_class<SessionInput>},
    {"SignalInput", build_record_class<SignalInput>},
    {"FaceInput", build_record_class<FaceInput>},
    {"SessionResult", build_record_class<SessionResult>},
    {"WaveformResult", build_record_class<WaveformResult>},
    {"VitalResult", build_record_class<VitalResult>},
    {"FaceResult", build_record_class<FaceResult>},
    {"Rect", build_record_class<Rect>},
    {"InferenceMode", build_enum_class<InferenceMode>},
    {"BufferConfig", build_record_class<BufferConfig>},
    {"BufferActionType", build_enum_class<BufferActionType>},
    {"BufferAction", build_record_class<BufferAction>},
    {"BufferMetadata", build_record_class<BufferMetadata>},
    {"InferenceCommand", build_record_class<InferenceCommand>},
    {"ExecutionPlan", build_record_class<ExecutionPlan>},
    {"VitalInfo", build_record_class<VitalInfo>},
    {"BufferPlanner", build_buffer_planner_class},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT,
    "orvane_core",  // m_name
    "",             // m_doc: empty
    0,              // m_size: no per-module state; a re-import calls the init again
                    // (and is refused there) instead of copying a stale dict
    nullptr,        // m_methods: functions are added one by one, after the classes
    nullptr,        // m_slots
    nullptr,        // m_traverse
    nullptr,        // m_clear
    nullptr,        // m_free
};

bool g_initialised = false;

// Appends `name` to __all__ and binds `member` (a new reference, consumed).
bool add_member(PyObject* module, PyObject* all, const char* name, PyObject* member) {
  if (!member) return false;
  PyObject* text = PyUnicode_FromString(name);
  const bool listed = text && PyList_Append(all, text) == 0;
  Py_XDECREF(text);
  // PyModule_AddObject steals the reference only when it succeeds.
  if (!listed || PyModule_AddObject(module, name, member) != 0) {
    Py_DECREF(member);
    return false;
  }
  return true;
}

PyObject* initialise() {
  if (g_initialised) {
    PyErr_SetString(PyExc_ImportError,
                    "orvane_core can be initialised only once per interpreter process");
    return nullptr;
  }
  g_initialised = true;

  PyObject* module = PyModule_Create(&kModule);
  if (!module) return nullptr;
  PyObject* all = PyList_New(0);
  if (!all) {
    Py_DECREF(module);
    return nullptr;
  }
  Py_INCREF(all);  // kept for the appends below
  if (PyModule_AddObject(module, "__all__", all) != 0) {
    Py_DECREF(all);
    Py_DECREF(all);
    Py_DECREF(module);
    return nullptr;
  }
  bool ok = true;
  for (const ClassEntry& entry : kClasses) {
    ok = add_member(module, all, entry.name, entry.build());
    if (!ok) break;
  }
  PyObject* module_name = ok ? PyModule_GetNameObject(module) : nullptr;
  ok = module_name != nullptr;
  for (PyMethodDef& def : module_functions()) {
    if (!ok) break;
    ok = add_member(module, all, def.ml_name, PyCFunction_NewEx(&def, module, module_name));
  }
  Py_XDECREF(module_name);
  Py_DECREF(all);
  if (!ok) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}

}  // namespace
}  // namespace orvane::py

PyMODINIT_FUNC PyInit_orvane_core(void) {
  return orvane::py::guarded(orvane::py::initialise);
}
