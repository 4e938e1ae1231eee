#include "python/numpy_array.hpp"

#include <bit>
#include <cstdint>
#include <cstring>

namespace orvane::py {
namespace {

// The leading fields of NumPy's array object, identical in NumPy 1.x and 2.x.
struct NdArrayHead {
  PyObject ob_base;
  char* data;
  int nd;
  Py_ssize_t* dimensions;
  Py_ssize_t* strides;
  PyObject* base;
  PyObject* descr;
  int flags;
};

// The leading fields of NumPy's dtype object up to type_num.
struct DescrHead {
  PyObject ob_base;
  PyTypeObject* typeobj;
  char kind;
  char type;
  char byteorder;
  char spare;  // flags in NumPy 1.x, unused padding in 2.x
  int type_num;
};

constexpr int kNpyArrayCContiguous = 0x0001;

// NumPy 2 moved the module that holds the capsule; the old name still works
// there but lives in a deprecated namespace, so it is only the fallback for
// NumPy 1.x.
constexpr const char* kApiModules[] = {"numpy._core.multiarray", "numpy.core.multiarray"};

PyObject* g_ndarray = nullptr;  // strong reference, kept for the process
PyObject* g_capsule = nullptr;  // keeps the interface table alive
PyObject* g_bool = nullptr;     // numpy.bool_

PyObject* import_api_module() {
  for (const char* name : kApiModules) {
    if (PyObject* module = PyImport_ImportModule(name)) return module;
    // Try the next name only when this one does not exist.
    if (!PyErr_ExceptionMatches(PyExc_ImportError)) return nullptr;
    if (name != kApiModules[std::size(kApiModules) - 1]) PyErr_Clear();
  }
  return nullptr;
}

bool load_api() {
  PyObject* module = import_api_module();
  if (!module) return false;
  PyObject* capsule = PyObject_GetAttrString(module, "_ARRAY_API");
  Py_DECREF(module);
  if (!capsule) {
    PyErr_Clear();
    PyErr_SetString(PyExc_ImportError, "NumPy's C interface (_ARRAY_API) could not be read");
    return false;
  }
  void** table = static_cast<void**>(PyCapsule_GetPointer(capsule, nullptr));
  if (!table) {
    Py_DECREF(capsule);
    PyErr_Clear();
    PyErr_SetString(PyExc_ImportError, "NumPy's C interface (_ARRAY_API) could not be read");
    return false;
  }
  using VersionFn = unsigned int (*)();
  const unsigned int abi = reinterpret_cast<VersionFn>(table[0])();
  const unsigned int major = abi >> 24;
  if (major != 1 && major != 2) {
    Py_DECREF(capsule);
    PyErr_Format(PyExc_ImportError, "unsupported NumPy C ABI version 0x%x", abi);
    return false;
  }
  g_capsule = capsule;
  g_ndarray = static_cast<PyObject*>(table[2]);
  Py_INCREF(g_ndarray);
  return true;
}

// The numpy module when something has imported it (a None entry blocks the
// import), else nullptr; borrowed.
PyObject* loaded_numpy() {
  PyObject* numpy = PyDict_GetItemString(PyImport_GetModuleDict(), "numpy");
  return numpy == Py_None ? nullptr : numpy;
}

bool native_byte_order(char byteorder) {
  constexpr char kOwn = std::endian::native == std::endian::little ? '<' : '>';
  return byteorder == '=' || byteorder == '|' || byteorder == kOwn;
}

template <typename Element, typename T>
void copy_elements(const ArrayLayout& layout, std::vector<T>& out) {
  out.resize(static_cast<std::size_t>(layout.length));
  const bool aligned = reinterpret_cast<std::uintptr_t>(layout.data) % alignof(Element) == 0;
  if constexpr (std::is_same_v<Element, T>) {
    if (layout.contiguous && aligned) {
      if (!out.empty()) std::memcpy(out.data(), layout.data, out.size() * sizeof(T));
      return;
    }
  }
  const char* p = layout.data;
  for (T& value : out) {
    Element e;
    std::memcpy(&e, p, sizeof e);  // strided or unaligned data
    value = static_cast<T>(e);
    p += layout.stride;
  }
}

}  // namespace

PyObject* ndarray_type() {
  if (!g_ndarray && !load_api()) return nullptr;
  return g_ndarray;
}

PyObject* ndarray_type_if_loaded() {
  if (g_ndarray) return g_ndarray;
  if (!loaded_numpy()) return nullptr;
  if (!load_api()) {
    PyErr_Clear();  // without the table, arrays still convert as sequences
    return nullptr;
  }
  return g_ndarray;
}

PyObject* numpy_bool_type() {
  if (g_bool) return g_bool;
  PyObject* numpy = loaded_numpy();
  if (!numpy) return nullptr;
  g_bool = PyObject_GetAttrString(numpy, "bool_");
  if (!g_bool) PyErr_Clear();
  return g_bool;
}

ArrayLayout array_layout(PyObject* array) {
  const auto* head = reinterpret_cast<const NdArrayHead*>(array);
  const auto* descr = reinterpret_cast<const DescrHead*>(head->descr);
  ArrayLayout layout;
  layout.ndim = head->nd;
  layout.data = head->data;
  if (head->nd >= 1) {
    layout.length = head->dimensions[0];
    layout.stride = head->strides[0];
  }
  layout.type_num = descr->type_num;
  layout.native_order = native_byte_order(descr->byteorder);
  layout.contiguous = (head->flags & kNpyArrayCContiguous) != 0;
  return layout;
}

template <typename T>
bool copy_float_array(const ArrayLayout& layout, std::vector<T>& out) {
  if (layout.ndim != 1 || !layout.native_order) return false;
  if (layout.type_num == kNpyFloat32) {
    copy_elements<float>(layout, out);
    return true;
  }
  if (layout.type_num == kNpyFloat64) {
    copy_elements<double>(layout, out);
    return true;
  }
  return false;
}

template bool copy_float_array<float>(const ArrayLayout&, std::vector<float>&);
template bool copy_float_array<double>(const ArrayLayout&, std::vector<double>&);

std::string describe_array(PyObject* array, const ArrayLayout& layout) {
  PyObject* dtype = PyObject_GetAttrString(array, "dtype");
  if (!dtype) return {};
  PyObject* text = PyObject_Str(dtype);
  Py_DECREF(dtype);
  if (!text) return {};
  PyObject* bytes = PyUnicode_AsUTF8String(text);
  Py_DECREF(text);
  if (!bytes) return {};
  std::string name = "ndarray[";
  name += PyBytes_AsString(bytes);
  Py_DECREF(bytes);
  name += ", " + std::to_string(layout.ndim) + "-D]";
  return name;
}

}  // namespace orvane::py
