#include "python/binder.hpp"

#include <string>

namespace orvane::py {
namespace {

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
std::string quoted_list(std::span<const char* const> names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
    text += '\'';
    text += names[i];
    text += '\'';
  }
  return text;
}

bool too_many_positional(const Signature& s, Py_ssize_t given) {
  std::size_t required = 0;
  for (const Param& p : s.params) required += p.required ? 1 : 0;
  const char* verb = given == 1 ? "was" : "were";
  if (required == s.params.size()) {
    PyErr_Format(PyExc_TypeError, "%s takes %zu positional arguments but %zd %s given", s.callable,
                 s.params.size(), given, verb);
  } else {
    PyErr_Format(PyExc_TypeError, "%s takes from %zu to %zu positional arguments but %zd %s given",
                 s.callable, required, s.params.size(), given, verb);
  }
  return false;
}

}  // namespace

void name_type_error(const char* name) {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (!value) {  // normalisation failed: report what there is
    PyErr_Restore(type, value, traceback);
    return;
  }
  if (traceback) PyException_SetTraceback(value, traceback);
  PyObject* outer = nullptr;
  if (PyObject* message = PyObject_Str(value)) {
    if (PyObject* text = PyUnicode_FromFormat("argument '%s': %U", name, message)) {
      outer = PyObject_CallFunctionObjArgs(PyExc_TypeError, text, nullptr);
      Py_DECREF(text);
    }
    Py_DECREF(message);
  }
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  if (!outer) {  // building the message failed; that failure is what is reported
    Py_XDECREF(value);
    return;
  }
  PyException_SetCause(outer, value);  // steals value
  PyErr_SetObject(PyExc_TypeError, outer);
  Py_DECREF(outer);
}

bool Args::bind(PyObject* args, PyObject* kwargs) {
  const Signature& s = signature_;
  const Py_ssize_t positional = PyTuple_Size(args);
  if (positional < 0) return false;
  if (static_cast<std::size_t>(positional) > s.params.size()) {
    return too_many_positional(s, positional);
  }
  for (Py_ssize_t i = 0; i < positional; ++i) slots_[static_cast<std::size_t>(i)] = PyTuple_GetItem(args, i);

  if (kwargs) {
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &key, &value)) {
      if (!PyUnicode_Check(key)) {
        PyErr_Format(PyExc_TypeError, "%s keywords must be strings", s.callable);
        return false;
      }
      std::size_t index = 0;
      while (index < s.params.size() &&
             PyUnicode_CompareWithASCIIString(key, s.params[index].name) != 0) {
        ++index;
      }
      if (index == s.params.size()) {
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", s.callable, key);
        return false;
      }
      if (slots_[index]) {
        PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", s.callable,
                     s.params[index].name);
        return false;
      }
      slots_[index] = value;
    }
  }

  std::array<const char*, kMaxParams> missing{};
  std::size_t n_missing = 0;
  for (std::size_t i = 0; i < s.params.size(); ++i) {
    if (s.params[i].required && !slots_[i]) missing[n_missing++] = s.params[i].name;
  }
  if (n_missing > 0) {
    const std::string names = quoted_list(std::span(missing.data(), n_missing));
    PyErr_Format(PyExc_TypeError, "%s missing %zu required positional %s: %s", s.callable,
                 n_missing, n_missing == 1 ? "argument" : "arguments", names.c_str());
    return false;
  }
  return true;
}

}  // namespace orvane::py
