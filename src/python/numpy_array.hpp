// Reading NumPy arrays without NumPy's headers or a build-time dependency.
//
// NumPy publishes its C interface as a table of pointers in the capsule
// "_ARRAY_API"; entry 0 is the ABI-version function and entry 2 the array
// type object. The leading fields of an array object (data, ndim, dimensions,
// strides, base, descr, flags) and of a dtype (typeobj, kind, type,
// byteorder, one spare byte, type_num) have kept their layout across NumPy
// 1.x and 2.x, so this file mirrors just those and refuses any other ABI
// major version. The table is fetched once per process and cached.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "python/python.hpp"

namespace orvane::py {

// NumPy's type numbers of the element types read in place.
inline constexpr int kNpyFloat32 = 11;
inline constexpr int kNpyFloat64 = 12;

// What the converters need to know about one array object.
struct ArrayLayout {
  int ndim = 0;
  const char* data = nullptr;
  Py_ssize_t length = 0;  // extent of the first dimension; 0 when ndim == 0
  Py_ssize_t stride = 0;  // bytes between neighbours of the first dimension
  int type_num = -1;
  bool native_order = false;  // elements readable as this machine's floats
  bool contiguous = false;    // C-contiguous
};

// NumPy's array type, importing NumPy and reading its interface on the first
// call. nullptr with ImportError set when either fails.
PyObject* ndarray_type();

// The array type only when NumPy is already imported (by the caller), so that
// converting a plain list never imports NumPy; nullptr, without an error,
// otherwise.
PyObject* ndarray_type_if_loaded();

// numpy.bool_ when NumPy is imported, else nullptr (no error).
PyObject* numpy_bool_type();

// Layout of an object already known to be an instance of ndarray_type().
ArrayLayout array_layout(PyObject* array);

// Copies the elements of a one-dimensional float32 or float64 array into
// `out` (converting to T), following the stride; unaligned data is read
// byte-wise. Returns false when the array is not of that kind (no error set).
template <typename T>
bool copy_float_array(const ArrayLayout& layout, std::vector<T>& out);

// "ndarray[float64, 2-D]": how an array is named in conversion messages.
// Empty with an exception set on failure.
std::string describe_array(PyObject* array, const ArrayLayout& layout);

}  // namespace orvane::py
