// Binding Python call arguments to parameters.
//
// Every callable takes its parameters positionally or by keyword in the order
// of its published signature; parameters with a default may be left out.
// Binding fails with TypeError in the interpreter's own wording (too many
// positional arguments, unexpected or repeated keywords, missing required
// arguments). Values are then converted in parameter order, stopping at the
// first failure; a TypeError from a conversion is re-raised as
// "argument '{name}': {message}" with the original as its __cause__, while
// ValueError and OverflowError pass unchanged.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "python/convert.hpp"
#include "python/guard.hpp"
#include "python/python.hpp"

namespace orvane::py {

struct Param {
  const char* name;
  bool required;
};

struct Signature {
  const char* callable;  // as shown in messages: "find_peaks()", "Rect.__new__()"
  std::span<const Param> params;
};

inline constexpr std::size_t kMaxParams = 9;

// Replaces a pending TypeError by "argument '{name}': {message}" caused by
// it; leaves any other exception alone.
void name_type_error(const char* name);

// Converts one value for the parameter or attribute `name`.
template <typename T>
bool convert_named(const char* name, PyObject* value, T& out) {
  if (Conv<T>::from(value, out)) return true;
  name_type_error(name);
  return false;
}

class Args {
 public:
  explicit Args(const Signature& signature) : signature_(signature) {}

  // False with TypeError set when the arguments do not fit the signature.
  bool bind(PyObject* args, PyObject* kwargs);

  // The value given for parameter i (borrowed), or nullptr when omitted.
  PyObject* supplied(std::size_t i) const { return slots_[i]; }

  // Converts parameter i into `out`; an omitted parameter leaves `out` at its
  // default.
  template <typename T>
  bool get(std::size_t i, T& out) const {
    return !slots_[i] || convert_named(signature_.params[i].name, slots_[i], out);
  }

 private:
  const Signature& signature_;
  std::array<PyObject*, kMaxParams> slots_{};
};

// An interpreter entry point: binds, then runs `body(args)` behind the C++
// exception barrier.
template <typename Body>
PyObject* call_bound(const Signature& signature, PyObject* args, PyObject* kwargs, Body&& body) {
  return guarded([&]() -> PyObject* {
    Args bound(signature);
    if (!bound.bind(args, kwargs)) return nullptr;
    return body(bound);
  });
}

}  // namespace orvane::py
