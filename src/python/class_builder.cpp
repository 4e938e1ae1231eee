#include "python/class_builder.hpp"

#include <cstring>

namespace orvane::py {

std::string class_doc(const char* qualified_name, const char* signature,
                      std::string_view description) {
  std::string doc;
  if (signature) {
    const char* dot = std::strrchr(qualified_name, '.');
    doc += dot ? dot + 1 : qualified_name;
    doc += signature;
    doc += "\n--\n\n";
  }
  doc += description;
  return doc;
}

PyObject* build_class(const char* qualified_name, int basic_size, const std::string& doc,
                      std::vector<PyType_Slot> slots) {
  slots.push_back({Py_tp_doc, const_cast<char*>(doc.c_str())});  // copied by the interpreter
  slots.push_back({0, nullptr});
  PyType_Spec spec = {
      .name = qualified_name,
      .basicsize = basic_size,
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT,  // final: no Py_TPFLAGS_BASETYPE
      .slots = slots.data(),
  };
  return PyType_FromSpecWithBases(&spec, nullptr);
}

PyObject* no_constructor(PyTypeObject*, PyObject*, PyObject*) {
  PyErr_SetString(PyExc_TypeError, "No constructor defined");
  return nullptr;
}

}  // namespace orvane::py
