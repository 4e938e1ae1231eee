// Building the module's classes: final heap types made from PyType_Spec tables.
//
// Every class is created with PyType_FromSpecWithBases and flags
// Py_TPFLAGS_DEFAULT only, so it cannot be subclassed, and its instances
// have no attribute dictionary and no weak-reference support. Class
// documentation is "Name(signature)\n--\n\n" followed by the description, from
// which the interpreter derives both __doc__ and __text_signature__; classes
// without a constructor carry only the description.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "python/python.hpp"

namespace orvane::py {

// "Rect(x, y, width, height)\n--\n\nA simple bounding box definition."
std::string class_doc(const char* qualified_name, const char* signature,
                      std::string_view description);

// A new class object, or nullptr with an exception set. `qualified_name`
// ("orvane_core.Rect") must outlive the class; `slots` need not (the doc is
// appended here and copied by the interpreter).
PyObject* build_class(const char* qualified_name, int basic_size, const std::string& doc,
                      std::vector<PyType_Slot> slots);

// tp_new of the classes whose instances come only from library results.
PyObject* no_constructor(PyTypeObject* cls, PyObject* args, PyObject* kwargs);

// One class per entry of the module's member table, built in table order.
struct ClassEntry {
  const char* name;
  PyObject* (*build)();  // new reference, or nullptr with an exception set
};

// Builders of the classes, defined in records.cpp, enums.cpp and objects.cpp.
PyObject* build_session_class();
PyObject* build_buffer_planner_class();
template <typename T>
PyObject* build_record_class();
template <typename T>
PyObject* build_enum_class();

}  // namespace orvane::py
