#include "python/convert.hpp"

#include <cstdint>
#include <limits>
#include <string_view>

namespace orvane::py {
namespace {

// UTF-8 text of a str object; false with an exception set on failure (a
// lone surrogate cannot be encoded).
bool utf8_of(PyObject* text, std::string& out) {
  PyObject* bytes = PyUnicode_AsUTF8String(text);
  if (!bytes) return false;
  char* data = nullptr;
  Py_ssize_t size = 0;
  const bool ok = PyBytes_AsStringAndSize(bytes, &data, &size) == 0;
  if (ok) out.assign(data, static_cast<std::size_t>(size));
  Py_DECREF(bytes);
  return ok;
}

bool str_equals(PyObject* text, const char* ascii) {
  return PyUnicode_CompareWithASCIIString(text, ascii) == 0;
}

// A float from any number; false with the exception cleared when it is none.
bool quiet_float(PyObject* o, float& out) {
  if (Conv<float>::from(o, out)) return true;
  PyErr_Clear();
  return false;
}

}  // namespace

bool type_error(PyObject* value, const char* expected) {
  PyObject* name = PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(value)), "__name__");
  if (!name) return false;
  PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", name, expected);
  Py_DECREF(name);
  return false;
}

bool type_error(PyObject* value, PyObject* expected_class) {
  PyObject* expected = PyObject_GetAttrString(expected_class, "__name__");
  if (!expected) return false;
  std::string text;
  const bool ok = utf8_of(expected, text);
  Py_DECREF(expected);
  return ok ? type_error(value, text.c_str()) : false;
}

// ---- Scalars ----------------------------------------------------------------

bool Conv<double>::from(PyObject* o, double& out) {
  const double value = PyFloat_AsDouble(o);
  if (value == -1.0 && PyErr_Occurred()) return false;
  out = value;
  return true;
}

bool Conv<float>::from(PyObject* o, float& out) {
  double value = 0;
  if (!Conv<double>::from(o, value)) return false;
  out = static_cast<float>(value);
  return true;
}

bool Conv<std::uint32_t>::from(PyObject* o, std::uint32_t& out) {
  PyObject* integer = PyNumber_Index(o);
  if (!integer) return false;
  int overflow = 0;
  const long long value = PyLong_AsLongLongAndOverflow(integer, &overflow);
  Py_DECREF(integer);
  if (value == -1 && PyErr_Occurred()) return false;
  if (overflow != 0 || value < 0 || value > std::numeric_limits<std::uint32_t>::max()) {
    PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
    return false;
  }
  out = static_cast<std::uint32_t>(value);
  return true;
}

bool Conv<std::uint64_t>::from(PyObject* o, std::uint64_t& out) {
  PyObject* integer = PyNumber_Index(o);
  if (!integer) return false;
  const unsigned long long value = PyLong_AsUnsignedLongLong(integer);  // interpreter's errors
  Py_DECREF(integer);
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
  out = value;
  return true;
}

bool Conv<bool>::from(PyObject* o, bool& out) {
  if (o == Py_True || o == Py_False) {
    out = o == Py_True;
    return true;
  }
  PyObject* numpy_bool = numpy_bool_type();
  if (numpy_bool && reinterpret_cast<PyObject*>(Py_TYPE(o)) == numpy_bool) {
    const int truth = PyObject_IsTrue(o);
    if (truth < 0) return false;
    out = truth == 1;
    return true;
  }
  return type_error(o, "bool");
}

bool Conv<std::string>::from(PyObject* o, std::string& out) {
  if (!PyUnicode_Check(o)) return type_error(o, "str");
  return utf8_of(o, out);
}

// ---- Parameter kinds that have no class -------------------------------------

bool Conv<WaveformMode>::from(PyObject* o, WaveformMode& out) {
  if (PyUnicode_Check(o)) {
    if (str_equals(o, "Incremental")) {
      out = WaveformMode::incremental();
      return true;
    }
    if (str_equals(o, "Global")) {
      out = WaveformMode::global();
      return true;
    }
    PyErr_SetString(PyExc_ValueError, "Invalid WaveformMode string");
    return false;
  }
  float seconds = 0;
  PyObject* name = PyTuple_Check(o) && PyTuple_Size(o) == 2 ? PyTuple_GetItem(o, 0) : nullptr;
  if (!name || !PyUnicode_Check(name) || !quiet_float(PyTuple_GetItem(o, 1), seconds)) {
    PyErr_SetString(PyExc_ValueError, "WaveformMode must be a string or ('Windowed', seconds)");
    return false;
  }
  if (!str_equals(name, "Windowed")) {
    PyErr_SetString(PyExc_ValueError, "Invalid WaveformMode tuple");
    return false;
  }
  out = WaveformMode::windowed(seconds);
  return true;
}

bool Conv<RoiMethod>::from(PyObject* o, RoiMethod& out) {
  struct Named {
    const char* name;
    RoiMethod::Kind kind;
  };
  static constexpr Named kNames[] = {
      {"face", RoiMethod::Kind::Face},
      {"forehead", RoiMethod::Kind::Forehead},
      {"upper_body", RoiMethod::Kind::UpperBody},
      {"upper_body_cropped", RoiMethod::Kind::UpperBodyCropped},
  };
  if (PyUnicode_Check(o)) {
    for (const Named& n : kNames) {
      if (str_equals(o, n.name)) {
        out = RoiMethod{n.kind};
        return true;
      }
    }
    PyErr_SetString(PyExc_ValueError, "Invalid RoiMethod string");
    return false;
  }
  float offsets[4] = {};
  bool ok = PyTuple_Check(o) && PyTuple_Size(o) == 4;
  for (Py_ssize_t i = 0; ok && i < 4; ++i) ok = quiet_float(PyTuple_GetItem(o, i), offsets[i]);
  if (!ok) {
    PyErr_SetString(PyExc_ValueError, "RoiMethod must be a string or tuple(l,t,r,b)");
    return false;
  }
  out = RoiMethod::custom(offsets[0], offsets[1], offsets[2], offsets[3]);
  return true;
}

bool Conv<FaceDetector>::from(PyObject* o, FaceDetector& out) {
  if (!PyUnicode_Check(o)) {
    PyErr_SetString(PyExc_ValueError, "FaceDetector must be a string");
    return false;
  }
  PyObject* lowered = PyObject_CallMethod(o, "lower", nullptr);
  if (!lowered) return false;
  bool known = true;
  if (str_equals(lowered, "default")) {
    out = FaceDetector::Default;
  } else if (str_equals(lowered, "apple_vision") || str_equals(lowered, "applevision") ||
             str_equals(lowered, "vision")) {
    out = FaceDetector::AppleVision;
  } else {
    known = false;
  }
  Py_DECREF(lowered);
  if (!known) PyErr_SetString(PyExc_ValueError, "Invalid FaceDetector string");
  return known;
}

bool Conv<Container>::from(PyObject* o, Container& out) {
  if (!PyTuple_Check(o)) return type_error(o, "tuple[float, float]");
  if (PyTuple_Size(o) != 2) {
    PyErr_Format(PyExc_TypeError, "expected a tuple of 2 items (width, height), got %zd items",
                 PyTuple_Size(o));
    return false;
  }
  return Conv<float>::from(PyTuple_GetItem(o, 0), out.width) &&
         Conv<float>::from(PyTuple_GetItem(o, 1), out.height);
}

// ---- Arrays -----------------------------------------------------------------

bool Conv<Float32Array>::from(PyObject* o, Float32Array& out) {
  PyObject* ndarray = ndarray_type();
  if (!ndarray) return false;
  if (!PyObject_TypeCheck(o, reinterpret_cast<PyTypeObject*>(ndarray))) {
    return type_error(o, "ndarray[float32, 1-D]");
  }
  const ArrayLayout layout = array_layout(o);
  if (layout.ndim != 1 || layout.type_num != kNpyFloat32 || !layout.native_order) {
    const std::string given = describe_array(o, layout);
    if (given.empty()) return false;
    PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to 'ndarray[float32, 1-D]'",
                 given.c_str());
    return false;
  }
  out.array = o;
  out.layout = layout;
  return true;
}

std::optional<std::span<const float>> Float32Array::contiguous_data() {
  if (!layout.contiguous) {
    PyErr_SetString(PyExc_TypeError, "The given array is not contiguous");
    return std::nullopt;
  }
  const auto n = static_cast<std::size_t>(layout.length);
  if (reinterpret_cast<std::uintptr_t>(layout.data) % alignof(float) != 0) {
    // A view into a byte buffer may start anywhere; read such data by copy.
    copy_float_array(layout, realigned);
    return std::span<const float>(realigned);
  }
  return std::span<const float>(reinterpret_cast<const float*>(layout.data), n);
}

}  // namespace orvane::py
