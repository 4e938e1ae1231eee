// Instances of the record and enumeration classes, and the class objects.
//
// An instance is the interpreter's object header followed by one C++ value
// that it owns. Class objects are built once per process when the module is
// initialised and are kept for the life of the process; converters reach
// them through `class_object<T>`.
#pragma once

#include <new>
#include <type_traits>
#include <utility>

#include "python/python.hpp"
#include "types/types.hpp"

namespace orvane::py {

template <typename... Ts>
struct TypeList {
  template <typename T>
  static constexpr bool contains = (std::is_same_v<T, Ts> || ...);
};

// Records that appear in Python as classes holding a copy of the record.
using RecordTypes =
    TypeList<Rect, SignalInput, FaceInput, SessionInput, SessionConfig, SessionResult,
             WaveformResult, VitalResult, FaceResult, BufferConfig, BufferMetadata, BufferAction,
             InferenceCommand, ExecutionPlan, VitalInfo>;
// Enumerations that appear in Python as classes with one member per variant.
using EnumTypes = TypeList<InferenceMode, BufferActionType>;

template <typename T>
concept Record = RecordTypes::contains<T>;
template <typename T>
concept Enumeration = EnumTypes::contains<T>;
template <typename T>
concept ClassValue = Record<T> || Enumeration<T>;

template <typename T>
struct Instance {
  PyObject ob_base;
  T value;
};

// Strong reference to the class of T, set by the module's class builders.
template <ClassValue T>
inline PyObject* class_object = nullptr;

template <typename T>
T& value_of(PyObject* instance) {
  return reinterpret_cast<Instance<T>*>(instance)->value;
}

// A new instance of `cls` holding `value`; nullptr with MemoryError set.
template <typename T>
PyObject* new_instance_of(PyObject* cls, T value) {
  PyObject* object = PyType_GenericAlloc(reinterpret_cast<PyTypeObject*>(cls), 0);
  if (!object) return nullptr;
  new (&reinterpret_cast<Instance<T>*>(object)->value) T(std::move(value));
  return object;
}

// Releases an instance: destroys the value, frees the memory through the
// type, then drops the instance's reference to its (heap) type.
template <typename T>
void dealloc_instance(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  reinterpret_cast<Instance<T>*>(self)->value.~T();
  auto free_memory = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_memory(self);
  Py_DECREF(type);
}

}  // namespace orvane::py
