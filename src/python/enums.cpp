// The enumeration classes InferenceMode and BufferActionType.
//
// One member per variant, created when the class is built and stored on the
// class; results carry new instances with the same value. Members convert to
// their variant number with int(), compare equal to that integer and to
// instances of the same value, define no ordering, and (having equality but
// no hash) are unhashable.
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "python/class_builder.hpp"
#include "python/classes.hpp"
#include "python/guard.hpp"

namespace orvane::py {
namespace {

template <typename E>
struct EnumSpec {
  const char* qualified_name;
  const char* prefix;  // of the representation: "InferenceMode."
  std::string_view description;
  std::span<const char* const> variants;  // declaration order = integer value
};

constexpr const char* kInferenceModeVariants[] = {"Stream", "File"};
constexpr const char* kBufferActionTypeVariants[] = {"Create", "KeepAlive", "Ignore"};

template <typename E>
extern const EnumSpec<E> enum_spec;
template <>
const EnumSpec<InferenceMode> enum_spec<InferenceMode> = {
    "orvane_core.InferenceMode", "InferenceMode.", descriptions::InferenceMode,
    kInferenceModeVariants};
template <>
const EnumSpec<BufferActionType> enum_spec<BufferActionType> = {
    "orvane_core.BufferActionType", "BufferActionType.", descriptions::BufferActionType,
    kBufferActionTypeVariants};

template <typename E>
long number_of(PyObject* member) {
  return static_cast<long>(value_of<E>(member));
}

template <typename E>
PyObject* enum_repr(PyObject* self) {
  return guarded([&] {
    const EnumSpec<E>& spec = enum_spec<E>;
    const std::string text = std::string(spec.prefix) + spec.variants[number_of<E>(self)];
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

template <typename E>
PyObject* enum_int(PyObject* self) {
  return PyLong_FromLong(number_of<E>(self));
}

// Equality with ints (and __index__ objects that fit a machine integer) and
// with members of the same class; everything else is left to the interpreter.
template <typename E>
PyObject* enum_compare(PyObject* self, PyObject* other, int op) {
  if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
  long long theirs = 0;
  if (PyLong_Check(other) || PyIndex_Check(other)) {
    PyObject* integer = PyNumber_Index(other);
    if (!integer) return nullptr;
    int overflow = 0;
    theirs = PyLong_AsLongLongAndOverflow(integer, &overflow);
    Py_DECREF(integer);
    if (theirs == -1 && PyErr_Occurred()) return nullptr;
    if (overflow != 0) Py_RETURN_NOTIMPLEMENTED;
  } else if (Py_TYPE(other) == Py_TYPE(self)) {
    theirs = number_of<E>(other);
  } else {
    Py_RETURN_NOTIMPLEMENTED;
  }
  const bool equal = theirs == number_of<E>(self);
  return PyBool_FromLong(op == Py_EQ ? equal : !equal);
}

}  // namespace

template <typename E>
PyObject* build_enum_class() {
  const EnumSpec<E>& spec = enum_spec<E>;
  std::vector<PyType_Slot> slots = {
      // Frees the instance and drops its reference to the class.
      {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_instance<E>)},
      // Members exist only as class attributes and library results.
      {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
      // "InferenceMode.Stream"; also str().
      {Py_tp_repr, reinterpret_cast<void*>(enum_repr<E>)},
      // Equality with ints and same-class members; no ordering.
      {Py_tp_richcompare, reinterpret_cast<void*>(enum_compare<E>)},
      // Equality without a hash: unhashable.
      {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
      // int(member) is the variant number.
      {Py_nb_int, reinterpret_cast<void*>(enum_int<E>)},
  };
  PyObject* cls = build_class(spec.qualified_name, sizeof(Instance<E>),
                              class_doc(spec.qualified_name, nullptr, spec.description),
                              std::move(slots));
  if (!cls) return nullptr;
  for (std::size_t i = 0; i < spec.variants.size(); ++i) {
    PyObject* member = new_instance_of<E>(cls, static_cast<E>(i));
    const int status = member ? PyObject_SetAttrString(cls, spec.variants[i], member) : -1;
    Py_XDECREF(member);
    if (status != 0) {
      Py_DECREF(cls);
      return nullptr;
    }
  }
  Py_INCREF(cls);
  class_object<E> = cls;
  return cls;
}

template PyObject* build_enum_class<InferenceMode>();
template PyObject* build_enum_class<BufferActionType>();

}  // namespace orvane::py
