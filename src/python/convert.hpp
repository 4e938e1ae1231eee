// Python values to library values and back: the one set of converters that
// every function, constructor, method and attribute uses.
//
// `Conv<T>::from(object, out)` fills `out` and returns true, or returns false
// with a Python exception set: TypeError for a value of the wrong kind,
// OverflowError for an integer out of range, ValueError for an unknown
// enumeration name. `Conv<T>::to(value)` returns a new reference, or nullptr
// with an exception set. Conversions are strict: nothing is guessed. A value
// copied out of a Python object is a snapshot; nothing returned shares
// storage with an argument.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "python/classes.hpp"
#include "python/numpy_array.hpp"
#include "python/python.hpp"
#include "types/types.hpp"

namespace orvane::py {

// Raises TypeError "'{type of value}' object cannot be converted to
// '{expected}'"; always returns false.
bool type_error(PyObject* value, const char* expected);
bool type_error(PyObject* value, PyObject* expected_class);

template <typename T>
struct Conv;

// ---- Scalars ----------------------------------------------------------------

template <>
struct Conv<double> {
  static bool from(PyObject* o, double& out);  // float(), via __float__/__index__
  static PyObject* to(double v) { return PyFloat_FromDouble(v); }
};

template <>
struct Conv<float> {
  // The double is rounded to single precision.
  static bool from(PyObject* o, float& out);
  static PyObject* to(float v) { return PyFloat_FromDouble(v); }
};

template <>
struct Conv<std::uint32_t> {
  // Integers and __index__ objects in 0..4294967295.
  static bool from(PyObject* o, std::uint32_t& out);
  static PyObject* to(std::uint32_t v) { return PyLong_FromUnsignedLong(v); }
};

template <>
struct Conv<std::uint64_t> {
  // Integers and __index__ objects in 0..2^64-1.
  static bool from(PyObject* o, std::uint64_t& out);
  static PyObject* to(std::uint64_t v) { return PyLong_FromUnsignedLongLong(v); }
};

template <>
struct Conv<bool> {
  // True, False or numpy.bool_; ints are refused.
  static bool from(PyObject* o, bool& out);
  static PyObject* to(bool v) { return PyBool_FromLong(v); }
};

template <>
struct Conv<std::string> {
  static bool from(PyObject* o, std::string& out);  // str only, as UTF-8
  static PyObject* to(const std::string& v) {
    return PyUnicode_FromStringAndSize(v.data(), static_cast<Py_ssize_t>(v.size()));
  }
};

// ---- Containers -------------------------------------------------------------

namespace detail {
// Fills out from a one-dimensional float32/float64 NumPy array when `o` is
// one and NumPy is loaded; false (no error) when `o` is something else.
template <typename T>
bool from_float_array(PyObject* o, std::vector<T>& out) {
  PyObject* ndarray = ndarray_type_if_loaded();
  if (!ndarray || !PyObject_TypeCheck(o, reinterpret_cast<PyTypeObject*>(ndarray))) return false;
  return copy_float_array(array_layout(o), out);
}
}  // namespace detail

// Any sequence except str (list, tuple, one-dimensional array, ...), each
// item converted as T.
template <typename T>
struct Conv<std::vector<T>> {
  static bool from(PyObject* o, std::vector<T>& out) {
    if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) {
      if (detail::from_float_array(o, out)) return true;
    }
    if (PyUnicode_Check(o) || !PySequence_Check(o)) return type_error(o, "Sequence");
    const bool concrete = PyList_Check(o) || PyTuple_Check(o);
    const Py_ssize_t n = PySequence_Size(o);
    if (n < 0) return false;
    std::vector<T> items;
    // A list or tuple holds its items; any other sequence only claims a length.
    if (concrete) items.reserve(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
      PyObject* item = PySequence_GetItem(o, i);
      if (!item) return false;
      T value{};
      const bool ok = Conv<T>::from(item, value);
      Py_DECREF(item);
      if (!ok) return false;
      items.push_back(std::move(value));
    }
    out = std::move(items);
    return true;
  }

  static PyObject* to(const std::vector<T>& values) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(values.size()));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < values.size(); ++i) {
      PyObject* item = Conv<T>::to(values[i]);
      if (!item) {
        Py_DECREF(list);
        return nullptr;
      }
      PyList_SetItem(list, static_cast<Py_ssize_t>(i), item);  // steals item
    }
    return list;
  }
};

// A dict with str keys; on output a new dict.
template <typename T>
struct Conv<std::map<std::string, T>> {
  static bool from(PyObject* o, std::map<std::string, T>& out) {
    if (!PyDict_Check(o)) return type_error(o, "dict");
    std::map<std::string, T> entries;
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(o, &position, &key, &value)) {
      std::string name;
      T item{};
      if (!Conv<std::string>::from(key, name) || !Conv<T>::from(value, item)) return false;
      entries.insert_or_assign(std::move(name), std::move(item));
    }
    out = std::move(entries);
    return true;
  }

  static PyObject* to(const std::map<std::string, T>& entries) {
    PyObject* dict = PyDict_New();
    if (!dict) return nullptr;
    for (const auto& [name, item] : entries) {
      PyObject* key = Conv<std::string>::to(name);
      PyObject* value = key ? Conv<T>::to(item) : nullptr;
      const bool ok = value && PyDict_SetItem(dict, key, value) == 0;
      Py_XDECREF(key);
      Py_XDECREF(value);
      if (!ok) {
        Py_DECREF(dict);
        return nullptr;
      }
    }
    return dict;
  }
};

// None or a value accepted for T.
template <typename T>
struct Conv<std::optional<T>> {
  static bool from(PyObject* o, std::optional<T>& out) {
    if (o == Py_None) {
      out.reset();
      return true;
    }
    T value{};
    if (!Conv<T>::from(o, value)) return false;
    out = std::move(value);
    return true;
  }

  static PyObject* to(const std::optional<T>& v) {
    if (!v) Py_RETURN_NONE;
    return Conv<T>::to(*v);
  }
};

// A tuple of two, on output only.
template <typename A, typename B>
struct Conv<std::pair<A, B>> {
  static PyObject* to(const std::pair<A, B>& v) {
    PyObject* first = Conv<A>::to(v.first);
    PyObject* second = first ? Conv<B>::to(v.second) : nullptr;
    PyObject* tuple = second ? PyTuple_New(2) : nullptr;
    if (!tuple) {
      Py_XDECREF(first);
      Py_XDECREF(second);
      return nullptr;
    }
    PyTuple_SetItem(tuple, 0, first);  // steals
    PyTuple_SetItem(tuple, 1, second);
    return tuple;
  }
};

// ---- Records and enumerations -----------------------------------------------

// An instance of the value's class (the classes are final, so the type must
// match exactly); the value is copied out. On output, a new instance.
template <ClassValue T>
struct Conv<T> {
  static bool from(PyObject* o, T& out) {
    if (reinterpret_cast<PyObject*>(Py_TYPE(o)) != class_object<T>) {
      return type_error(o, class_object<T>);
    }
    out = value_of<T>(o);
    return true;
  }

  static PyObject* to(T value) { return new_instance_of<T>(class_object<T>, std::move(value)); }
};

// ---- Parameter kinds that have no class -------------------------------------

// "Incremental", "Global" or ("Windowed", seconds); ValueError otherwise.
template <>
struct Conv<WaveformMode> {
  static bool from(PyObject* o, WaveformMode& out);
};

// "face", "forehead", "upper_body", "upper_body_cropped" or a tuple of four
// numbers (left, top, right, bottom); ValueError otherwise.
template <>
struct Conv<RoiMethod> {
  static bool from(PyObject* o, RoiMethod& out);
};

// A str, lower-cased, naming a detector; ValueError otherwise.
template <>
struct Conv<FaceDetector> {
  static bool from(PyObject* o, FaceDetector& out);
};

// A frame size (width, height) in pixels, given as a tuple of two numbers.
struct Container {
  float width = 0;
  float height = 0;
};

template <>
struct Conv<Container> {
  static bool from(PyObject* o, Container& out);
};

// A one-dimensional float32 NumPy array, borrowed for the duration of a call.
// Conversion checks the kind; `contiguous_data` then hands out the samples.
struct Float32Array {
  PyObject* array = nullptr;  // borrowed from the call's arguments
  ArrayLayout layout;
  std::vector<float> realigned;  // copy used only when the data is misaligned

  // The samples in place; TypeError "The given array is not contiguous" for
  // a strided array.
  std::optional<std::span<const float>> contiguous_data();
};

template <>
struct Conv<Float32Array> {
  // ImportError when NumPy cannot be imported.
  static bool from(PyObject* o, Float32Array& out);
};

}  // namespace orvane::py
